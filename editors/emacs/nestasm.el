;;; nestasm.el --- nestasm sources in Emacs, checked by nestasm-lsp through eglot  -*- lexical-binding: t -*-
;; Load it from your init file: (load "/path/to/nestasm/editors/emacs/nestasm.el")
;; RET has the server write the markers of the new line's depth; hideshow folds a block, a whole
;; if-chain from its if, one branch from its elif or else (C-c @ C-c toggles). The end of each
;; line that closes blocks shows what it closes (M-x nestasm-toggle-inlay-hints turns it off).

(require 'asm-mode)
(require 'eglot)
(require 'hideshow)
(require 'cl-lib)
(require 'seq)

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

;; What each line that closes blocks closes, at its end, from the server's inlay hints (eglot
;; 1.9 shows none of its own): asked for a short pause after the last change, and on open.
(defcustom nestasm-inlay-hints t
  "Whether the end of each line that closes blocks shows what it closes."
  :type 'boolean :group 'eglot)

(defface nestasm-hint '((t :inherit shadow))
  "The text after a line that closes blocks, naming what it closes." :group 'eglot)

(defvar-local nestasm--hint-overlays nil)
(defvar-local nestasm--hint-timer nil)

(defun nestasm--clear-hints ()
  (mapc #'delete-overlay nestasm--hint-overlays)
  (setq nestasm--hint-overlays nil))

(defun nestasm--show-hints (hints)
  (nestasm--clear-hints)
  (save-excursion
    (save-restriction
      (widen)
      (seq-doseq (h hints)
        (let ((label (plist-get h :label)))
          (unless (stringp label)
            (setq label (mapconcat (lambda (part) (plist-get part :value)) label "")))
          (goto-char (point-min))
          (when (and (= 0 (forward-line (plist-get (plist-get h :position) :line))) (not (eobp)))
            (let ((ov (make-overlay (line-end-position) (line-end-position) nil t nil)))
              (overlay-put ov 'nestasm-hint t)
              (overlay-put ov 'after-string (propertize (concat " " label) 'face 'nestasm-hint))
              (push ov nestasm--hint-overlays))))))))

(defun nestasm--request-hints (buf)
  (when (buffer-live-p buf)
    (with-current-buffer buf
      (setq nestasm--hint-timer nil)
      (if (not (and nestasm-inlay-hints (eglot-managed-p)))
          (nestasm--clear-hints)
        (eglot--signal-textDocument/didChange)
        ;; A reply to older text may name lines that have moved since: it is dropped, and the
        ;; change that came after it asks again.
        (let ((tick (buffer-chars-modified-tick)))
          (jsonrpc-async-request
           (eglot--current-server-or-lose) :textDocument/inlayHint
           (list :textDocument (eglot--TextDocumentIdentifier)
                 :range (list :start (list :line 0 :character 0)
                              :end (list :line (save-restriction (widen) (count-lines (point-min) (point-max)))
                                         :character 0)))
           :success-fn (lambda (hints)
                         (when (buffer-live-p buf)
                           (with-current-buffer buf
                             (when (and nestasm-inlay-hints (= tick (buffer-chars-modified-tick)))
                               (nestasm--show-hints hints)))))
           :error-fn #'ignore :timeout-fn #'ignore))))))

(defun nestasm--schedule-hints (&rest _)
  "Ask for the hints once the typing pauses: a burst of changes asks once. A plain timer, put
back by each change, rather than an idle one, which a batch Emacs never runs."
  (when nestasm--hint-timer (cancel-timer nestasm--hint-timer))
  (setq nestasm--hint-timer (run-with-timer 0.3 nil #'nestasm--request-hints (current-buffer))))

(defun nestasm--hints-setup ()
  (when (derived-mode-p 'nestasm-mode)
    (if (eglot-managed-p)
        (progn (add-hook 'after-change-functions #'nestasm--schedule-hints nil t)
               (nestasm--schedule-hints))
      (remove-hook 'after-change-functions #'nestasm--schedule-hints t)
      (nestasm--clear-hints))))
(add-hook 'eglot-managed-mode-hook #'nestasm--hints-setup)

(defun nestasm-toggle-inlay-hints (&optional arg)
  "Show or hide what each line that closes blocks closes; with ARG, on when it is positive."
  (interactive "P")
  (setq nestasm-inlay-hints (if arg (> (prefix-numeric-value arg) 0) (not nestasm-inlay-hints)))
  (dolist (buf (buffer-list))
    (with-current-buffer buf
      (when (derived-mode-p 'nestasm-mode)
        (if nestasm-inlay-hints (nestasm--request-hints buf) (nestasm--clear-hints)))))
  (message "nestasm inlay hints %s" (if nestasm-inlay-hints "on" "off")))

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
