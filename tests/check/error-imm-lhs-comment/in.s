WHILE 1 == 2 ; never runs
& inc edi
END
