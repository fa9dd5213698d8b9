; data.s - the numbers whose greatest common divisor the program prints, ended by a 0.
global nums
section .data
nums:   dd 1071, 462, 2520, 3948, 5103, 0
