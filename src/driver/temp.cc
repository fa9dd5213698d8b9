// A name this run made for a file not yet complete, and how it goes again or stays.
#include <fcntl.h>
#include <unistd.h>

#include "driver/driver.h"

void temp_file::remove() {
  if (n.empty()) return;
  held_signals h;
  unlinkat(at, n.c_str(), 0);
  drop_temp();
  n.clear();
}

void temp_file::keep() {
  if (n.empty()) return;
  drop_temp();  // holds the signals itself
  n.clear();
}
