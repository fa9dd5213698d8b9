old output, must survive
