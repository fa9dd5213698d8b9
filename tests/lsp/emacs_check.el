;;; emacs_check.el --- Emacs with editors/emacs/nestasm.el on classify.s whose `& else' lost its marker  -*- lexical-binding: t -*-
;; eglot connects, flymake shows the error with its note, and hover (eldoc) shows the translation.
;; Ends Emacs with status 0 or 1.

(defun check-done (msg)
  (princ (concat msg "\n"))
  (kill-emacs (if (string-prefix-p "ok" msg) 0 1)))

(defun check-wait (pred)
  (let ((until (+ (float-time) 20)))
    (while (and (not (funcall pred)) (< (float-time) until))
      (accept-process-output nil 0.05))
    (funcall pred)))

(find-file "classify.s")
(unless (eq major-mode 'nestasm-mode) (check-done (format "FAIL: mode %s" major-mode)))
;; eglot-ensure connects after the command that opened the file; batch runs no command.
(run-hooks 'post-command-hook)
(unless (check-wait (lambda () (eglot-managed-p))) (check-done "FAIL: eglot did not connect"))
(flymake-start)
(unless (check-wait (lambda () (flymake-diagnostics))) (check-done "FAIL: no diagnostics"))
(let* ((d (car (flymake-diagnostics)))
       (line (line-number-at-pos (flymake-diagnostic-beg d)))
       (text (flymake-diagnostic-text d)))
  (unless (and (= line 31) (eq (flymake-diagnostic-type d) 'eglot-error)
               (string-match-p "status 8\\]: else bad" text)
               (string-match-p "\nline 15: the while-block opened here" text))
    (check-done (format "FAIL: diagnostic at line %d, %s: %s" line (flymake-diagnostic-type d) text))))
;; The translation of line 17, the if, as hover gives it.
(goto-char (point-min))
(forward-line 16)
(let ((hover (jsonrpc-request (eglot-current-server) :textDocument/hover
                              (eglot--TextDocumentPositionParams))))
  (unless (string-match-p "cmp al, ' '\njne \\.if_else_2" (plist-get (plist-get hover :contents) :value))
    (check-done (format "FAIL: hover %S" hover))))
(check-done "ok: eglot shows the error with its note, and the translation on hover")
