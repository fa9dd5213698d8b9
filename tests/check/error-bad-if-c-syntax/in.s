test_bit:
if (r14b & 4)
& nop
end
