& & nop
