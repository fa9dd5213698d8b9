while
