;;; emacs.el --- Emacs with eglot, configured by doc/editors.md's lines, as a user meets the server.
;;
;; Loaded after those lines in batch Emacs: opens KESSA_EMACS_FILE, writes to KESSA_EMACS_OUT
;; what Emacs then shows (the diagnostics as flymake holds them, lines from 1 and columns in
;; characters from 0; the hover of a value; the outline that imenu builds), applies the quick
;; fix at the blank before a double quote, saves, writes the diagnostics again; then opens a file
;; that the settings check against a schema, writes its diagnostics and completions; saves a
;; file out of the layout, which doc/editors.md's lines format as it is saved (client-test.sh
;; compares it with its layout), and shuts the server down. Any error ends Emacs with a status other than 0. Run by client-test.sh.

(require 'cl-lib)
(require 'subr-x)

(defvar kessa-test-out (getenv "KESSA_EMACS_OUT"))

(defun kessa-test-write (format-string &rest arguments)
  (let ((coding-system-for-write 'utf-8-unix))
    (write-region (concat (apply #'format format-string arguments) "\n") nil kessa-test-out t
                  'quiet)))

(defun kessa-test-wait (what holds)
  "Waits for the events that make HOLDS true, a minute at most."
  (let ((deadline (+ (float-time) 60)))
    (while (not (funcall holds))
      (when (> (float-time) deadline) (error "Waited a minute for %s" what))
      (accept-process-output nil 0.05))))

(defun kessa-test-position (position)
  (save-excursion
    (goto-char position)
    (format "%d:%d" (line-number-at-pos) (current-column))))

(defun kessa-test-diagnostics ()
  (dolist (diagnostic (sort (flymake-diagnostics)
                            (lambda (a b) (< (flymake-diagnostic-beg a)
                                             (flymake-diagnostic-beg b)))))
    (let ((text (flymake-diagnostic-text diagnostic)))
      (kessa-test-write "%s-%s %s %s"
                        (kessa-test-position (flymake-diagnostic-beg diagnostic))
                        (kessa-test-position (flymake-diagnostic-end diagnostic))
                        (flymake-diagnostic-type diagnostic)
                        (substring text 0 (min 60 (length text)))))))

(defun kessa-test-goto (line column)
  (goto-char (point-min))
  (forward-line (1- line))
  (move-to-column column))

(write-region "" nil kessa-test-out nil 'quiet)
(find-file (getenv "KESSA_EMACS_FILE"))
(unless (eq major-mode 'kessa-mode) (error "The file opened in %s" major-mode))
;; eglot-ensure connects once the command that opened the file has ended, as the command loop
;; then runs post-command-hook; batch Emacs has no command loop.
(run-hooks 'post-command-hook)
(kessa-test-wait "eglot to manage the buffer" (lambda () (bound-and-true-p eglot--managed-mode)))
(flymake-start)
(kessa-test-wait "the diagnostics" (lambda () (flymake-diagnostics)))
(kessa-test-diagnostics)

;; The hover of the value "01234", through the function eldoc calls.
(kessa-test-goto 2 6)
(let (hover)
  (eglot-hover-eldoc-function (lambda (info &rest _) (setq hover (or info 'none))))
  (kessa-test-wait "the hover" (lambda () hover))
  (kessa-test-write "hover: %s" hover))

;; The outline, as imenu builds it.
(dolist (group (funcall imenu-create-index-function))
  (kessa-test-write "outline %s: %s" (car group)
                    (mapconcat (lambda (entry) (car entry)) (cdr group) ", ")))

;; The quick fix at the blank before the double quote, applied, and the text saved.
(kessa-test-goto 3 7)
(eglot-code-actions (point) (point) "quickfix" t)
(kessa-test-write "fixed: %s" (buffer-substring-no-properties (line-beginning-position)
                                                              (line-end-position)))
(save-buffer)
(kessa-test-wait "the diagnostics of the fixed text"
                 (lambda () (not (cl-some (lambda (d) (string-match-p "blank-before-quote"
                                                                       (flymake-diagnostic-text d)))
                                          (flymake-diagnostics)))))
(kessa-test-diagnostics)

;; A file that doc/editors.md's settings check against a schema: its diagnostics, and the keys and
;; values that completion offers, as completion-at-point gets them.
(find-file (expand-file-name "service.kessa" (file-name-directory (getenv "KESSA_EMACS_FILE"))))
(run-hooks 'post-command-hook)
(kessa-test-wait "eglot to manage the second buffer" (lambda () (bound-and-true-p eglot--managed-mode)))
(flymake-start)
(kessa-test-wait "the schema's diagnostics"
                 (lambda () (cl-some (lambda (d) (string-match-p "\\[schema-"
                                                                 (flymake-diagnostic-text d)))
                                     (flymake-diagnostics))))
(kessa-test-diagnostics)
(dolist (place '((4 0) (3 6)))
  (apply #'kessa-test-goto place)
  (let ((capf (eglot-completion-at-point)))
    (kessa-test-write "completion at %d:%d: %s" (car place) (cadr place)
                      (string-join (all-completions (buffer-substring-no-properties
                                                     (nth 0 capf) (nth 1 capf))
                                                    (nth 2 capf))
                                   ", "))))

;; A file out of the layout, saved once changed (Emacs saves no unchanged buffer).
(find-file (expand-file-name "unformatted.kessa" (file-name-directory (getenv "KESSA_EMACS_FILE"))))
(run-hooks 'post-command-hook)
(kessa-test-wait "eglot to manage the third buffer" (lambda () (bound-and-true-p eglot--managed-mode)))
(set-buffer-modified-p t)
(save-buffer)
(kessa-test-write "saved, lines: %d" (count-lines (point-min) (point-max)))

(eglot-shutdown (eglot-current-server))
(kessa-test-write "shut down")
(kill-emacs 0)
