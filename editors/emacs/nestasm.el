;;; nestasm.el --- nestasm sources in Emacs, checked by nestasm-lsp through eglot  -*- lexical-binding: t -*-
;; Load it from your init file: (load "/path/to/nestasm/editors/emacs/nestasm.el")

(require 'asm-mode)
(require 'eglot)

(define-derived-mode nestasm-mode asm-mode "nestasm"
  "Structured x86 assembly for nestasm: if/elif/else/while/end nested by & markers.")

;; Which files are nestasm sources is yours to say (*.s is also GNU as): name them here.
(add-to-list 'auto-mode-alist '("\\.s\\'" . nestasm-mode))

(add-to-list 'eglot-server-programs '(nestasm-mode "nestasm-lsp"))
(add-hook 'nestasm-mode-hook #'eglot-ensure)
