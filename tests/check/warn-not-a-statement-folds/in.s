gcd:
while ebx != 0
& div ebx
endwhile
        ret
lcm:
        call gcd
        ret
