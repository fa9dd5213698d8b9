;;; emacs_check.el --- Emacs with editors/emacs/nestasm.el on classify.s whose `& else' lost its marker  -*- lexical-binding: t -*-
;; eglot connects, flymake shows the error with its note, and hover (eldoc) shows the translation;
;; hideshow folds a chain and a branch, the server formats and offers lines a level deeper and
;; shallower, a block typed with RET gets its markers, and each end shows what it closes.
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
;; On open, what the lines that close blocks close: the else without its marker closes the if
;; at its depth, and with it the whole chain.
(defun check-hints ()
  (let (got)
    (dolist (ov (overlays-in (point-min) (point-max)))
      (when (overlay-get ov 'nestasm-hint)
        (let ((s (overlay-get ov 'after-string)))
          (push (format "%d%s %s" (line-number-at-pos (overlay-start ov)) (substring-no-properties s)
                        (get-text-property 1 'face s))
                got))))
    (sort got (lambda (a b) (< (string-to-number a) (string-to-number b))))))
(unless (check-wait (lambda () (equal (check-hints) '("31 closes if al == ' ' (line 17) nestasm-hint"))))
  (check-done (format "FAIL: hints on open %S" (check-hints))))
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
;; The if of line 17 folds its whole chain, up to the else that lost its marker (line 31); the
;; elif of line 19 only its branch.
(defun check-hidden (from to)
  (let (hidden)
    (goto-char (point-min))
    (forward-line (1- from))
    (while (<= (line-number-at-pos) to)
      (when (invisible-p (point)) (push (line-number-at-pos) hidden))
      (forward-line 1))
    (nreverse hidden)))
(dolist (row '((17 (18 19 20 21 22 23 24 25 26 27 28 29 30)) (19 (20))))
  (goto-char (point-min))
  (forward-line (1- (car row)))
  (hs-hide-block)
  (let ((hidden (check-hidden 14 33)))
    (unless (equal hidden (cadr row))
      (check-done (format "FAIL: folding line %d hides %S" (car row) hidden))))
  (hs-show-all))
;; Formatting through the server: a marker run into the body of line 16 gets its space back.
(goto-char (point-min))
(forward-line 15)
(forward-char 1)
(delete-char 1)
(eglot--signal-textDocument/didChange)
(eglot-format-buffer)
(let ((line (buffer-substring-no-properties (line-beginning-position) (line-end-position))))
  (unless (equal line "& mov al, [rsi]") (check-done (format "FAIL: formatted to %S" line))))
;; The code actions of lines 16 and 17 offer them a level deeper and shallower.
(let* ((range (list :start (list :line 15 :character 0) :end (list :line 17 :character 0)))
       (actions (jsonrpc-request (eglot-current-server) :textDocument/codeAction
                                 (list :textDocument (eglot--TextDocumentIdentifier) :range range
                                       :context (list :diagnostics []))))
       (titles (mapcar (lambda (a) (plist-get a :title)) actions)))
  (unless (equal titles '("One level deeper" "One level shallower"))
    (check-done (format "FAIL: code actions %S" titles))))
;; A block typed at the end of the file with RET: the user types no marker at all, and one too
;; many before an end; the server writes them, once the else has its marker back.
(goto-char (point-min))
(forward-line 30)
(insert "& ")
(goto-char (point-max))
(let ((start (line-number-at-pos)))
  (dolist (key '("while ecx != 0" "inc eax" "IF eax == 3" "dec ecx" "elif eax == 4" "inc edx"
                 "&\tend" "inc ecx" "" "end" "nop"))
    (insert key)
    (nestasm-newline))
  (let ((typed (buffer-substring-no-properties (save-excursion (goto-char (point-min)) (forward-line (1- start)) (point))
                                               (point-max)))
        (want "while ecx != 0\n& inc eax\n& IF eax == 3\n& & dec ecx\n& elif eax == 4\n& & inc edx\n& \tend\n& inc ecx\n& \nend\nnop\n"))
    (unless (equal typed want) (check-done (format "FAIL: typed %S" typed)))))
(unless (eq (key-binding (kbd "RET")) #'nestasm-newline) (check-done "FAIL: RET is not nestasm-newline"))
;; What each line that closes blocks closes, at its end, once the typing pauses: the chain's end
;; and the while's in the file, the IF's and the while's in the block typed at 49.
(defvar check-hints-want
  '("33 closes if al == ' ' (line 17) nestasm-hint" "37 closes while byte [rsi] != 0 (line 15) nestasm-hint"
    "55 closes IF eax == 3 (line 51) nestasm-hint" "58 closes while ecx != 0 (line 49) nestasm-hint"))
(unless (check-wait (lambda () (equal (check-hints) check-hints-want)))
  (check-done (format "FAIL: hints %S" (check-hints))))
(unless (eq (face-attribute 'nestasm-hint :inherit) 'shadow) (check-done "FAIL: hint face"))
(nestasm-toggle-inlay-hints)
(when (check-hints) (check-done (format "FAIL: hints left on after the toggle: %S" (check-hints))))
;; Off, a change asks for none.
(insert "nop\n")
(accept-process-output nil 0.6)
(when (check-hints) (check-done (format "FAIL: hints back after a change while off: %S" (check-hints))))
;; On again; a reply that comes after the text changed is dropped, and the change asks anew.
(nestasm-toggle-inlay-hints)
(unless (check-wait (lambda () (equal (check-hints) check-hints-want)))
  (check-done (format "FAIL: hints after the toggle back on %S" (check-hints))))
(nestasm--clear-hints)
(nestasm--request-hints (current-buffer))
(save-excursion (goto-char (point-min)) (insert ";\n"))
(accept-process-output nil 0.2)
(when (check-hints) (check-done (format "FAIL: hints of the text before the change: %S" (check-hints))))
(unless (check-wait (lambda () (equal (check-hints)
                                      '("34 closes if al == ' ' (line 18) nestasm-hint"
                                        "38 closes while byte [rsi] != 0 (line 16) nestasm-hint"
                                        "56 closes IF eax == 3 (line 52) nestasm-hint"
                                        "59 closes while ecx != 0 (line 50) nestasm-hint"))))
  (check-done (format "FAIL: hints after a line put before them %S" (check-hints))))
(check-done (concat "ok: eglot shows the error with its note, the translation on hover; folds, "
                    "formatting, levels, markers typed and hints"))
