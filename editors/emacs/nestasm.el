;;; nestasm.el --- nestasm sources in Emacs, checked by nestasm-lsp through eglot  -*- lexical-binding: t -*-
;; Load it from your init file: (load "/path/to/nestasm/editors/emacs/nestasm.el")
;; RET writes the markers of the new line's depth; hideshow folds a block, a whole if-chain from
;; its if, one branch from its elif or else (C-c @ C-c toggles).

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

(defun nestasm--opens (word) (member word '("if" "elif" "else" "while")))

(defun nestasm--open-depth ()
  "The depth of the innermost block still open above the current line, read upwards: a line
closes the blocks deeper than itself, an end also the one at its own depth."
  (save-excursion
    (let ((limit most-positive-fixnum) found)
      (while (and (not found) (> limit 0) (= 0 (forward-line -1)))
        (pcase-let ((`(,depth ,word ,_) (nestasm--parse (nestasm--line))))
          (if (and (nestasm--opens word) (< depth limit))
              (setq found depth)
            (setq limit (min limit (if (equal word "end") depth (1+ depth)))))))
      found)))

(defun nestasm-newline ()
  "Break the line; an end, elif or else typed among the lines of the body first goes to its
block's own depth, and the new line starts with the markers of the depth it is in."
  (interactive)
  (pcase-let ((`(,depth ,word ,prefix)
               (nestasm--parse (buffer-substring-no-properties (line-beginning-position) (point)))))
    (when (member word '("end" "elif" "else"))
      (let ((own (nestasm--open-depth)))
        (when (and own (< own depth))
          (save-excursion
            (goto-char (line-beginning-position))
            (delete-char (length prefix))
            (insert (apply #'concat (make-list own "& "))))
          (setq depth own))))
    (newline)
    (insert (apply #'concat (make-list (if (nestasm--opens word) (1+ depth) depth) "& ")))))

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
