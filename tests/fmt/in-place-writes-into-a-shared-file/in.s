  nop  
