;;; nestasm.el --- nestasm sources in Emacs, checked by nestasm-lsp through eglot  -*- lexical-binding: t -*-
;; Load it from your init file: (load "/path/to/nestasm/editors/emacs/nestasm.el")
;; RET has the server write the markers of the new line's depth; hideshow folds a block, a whole
;; if-chain from its if, one branch from its elif or else (C-c @ C-c toggles).

(require 'asm-mode)
(require 'eglot)
(require 'hideshow)
(require 'cl-lib)

(defun nestasm--parse (line)
  "The depth of LINE (its & before the text), its statement word lower-cased, and the markers."
  (string-match "\\`[ &]*" line)
  (let* ((prefix (match-string 0 line))
         (body (replace-regexp-in-string "\\`[\t\v\f\r ]+" "" (substring line (length prefix)))))
    (list (cl-count ?& prefix)
          (downcase (progn (string-match "\\`[^ \t]*" body) (match-string 0 body)))
          prefix)))

(defun nestasm--line () (buffer-substring-no-properties (line-beginning-position) (line-end-position)))

(defun nestasm-newline ()
  "Break the line, then let the server write the markers: the new line's, and those of an end,
elif or else left deeper than its block (textDocument/onTypeFormatting on a line feed). Eglot
1.9 asks for it itself only when the key typed was a line feed, which RET is not.
Without the server, a plain newline."
  (interactive)
  ;; The text after point moves to the new line; point stays where it is in it.
  (let ((after (- (line-end-position) (point))))
    (newline)
    (when (and (eglot-managed-p) (eglot--server-capable :documentOnTypeFormattingProvider))
      (eglot--signal-textDocument/didChange)
      (eglot-format (point) nil ?\n)
      (goto-char (- (line-end-position) after)))))

(defun nestasm-forward-block (&optional _arg)
  "From a statement, to the end of the line before what ends it: an if or while runs to its
end, an elif or else to the next branch; a line shallower than the statement ends it too."
  (pcase-let ((`(,depth ,word ,_) (nestasm--parse (nestasm--line))))
    (let ((branch (member word '("elif" "else"))) stop)
      (while (and (not stop) (= 0 (forward-line 1)) (not (eobp)))
        (pcase-let ((`(,d ,w ,_) (nestasm--parse (nestasm--line))))
          (setq stop (or (< d depth)
                         (and (= d depth) (or (equal w "end") (and branch (member w '("elif" "else")))))))))
      (when stop (forward-line -1))
      (end-of-line))))

(defvar nestasm-mode-map
  (let ((map (make-sparse-keymap)))
    (define-key map (kbd "RET") #'nestasm-newline)
    map))

(define-derived-mode nestasm-mode asm-mode "nestasm"
  "Structured x86 assembly for nestasm: if/elif/else/while/end nested by & markers."
  (setq-local electric-indent-inhibit t)
  (hs-minor-mode 1))

(add-to-list 'hs-special-modes-alist
             '(nestasm-mode "^[ &]*[\t\v\f\r ]*\\(?:[iI][fF]\\|[eE][lL][iI][fF]\\|[eE][lL][sS][eE]\\|[wW][hH][iI][lL][eE]\\)\\(?:[ \t]\\|$\\)"
                            nil ";" nestasm-forward-block nil))

;; Which files are nestasm sources is yours to say (*.s is also GNU as): name them here.
(add-to-list 'auto-mode-alist '("\\.s\\'" . nestasm-mode))

(add-to-list 'eglot-server-programs '(nestasm-mode "nestasm-lsp"))
(add-hook 'nestasm-mode-hook #'eglot-ensure)
