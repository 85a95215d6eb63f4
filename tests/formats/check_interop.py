#!/usr/bin/env python3
"""Reads the mbox and EML output of an export with Python's standard library.

usage: check_interop.py <output dir> <expected json>

The expected file names, below the output dir,
  "mbox": {"<mailbox file>": [{"subject": ..., "body": ...}, ...]}   in file order
  "eml":  {"<directory>":    [{"subject": ..., "body": ...}, ...]}   in any order

Mailboxes are read with mailbox.mbox: the message count must match, and each
body must equal the expected one once the ">" the writer put before
separator-like lines is taken off again (mailbox.mbox leaves it in place).
EML files are parsed with the email package: no defects, line ends of one
kind (LF or CR LF), and the same subjects and bodies. Bodies are compared with LF line ends
and without trailing line ends. Exit status 0 when everything matches.
"""

import email
import email.policy
import json
import mailbox
import os
import re
import sys

ESCAPED_FROM = re.compile(rb"^>+From ")


def normalized(text):
    return text.replace("\r\n", "\n").rstrip("\n")


def unescaped(body):
    return b"\n".join(line[1:] if ESCAPED_FROM.match(line) else line for line in body.split(b"\n"))


def subject_of(message):
    value = message["subject"]
    return "" if value is None else str(value)


def check_mbox(path, expected, errors):
    box = mailbox.mbox(path, create=False)
    try:
        raw_messages = [box.get_bytes(key) for key in box.iterkeys()]
    finally:
        box.close()
    if len(raw_messages) != len(expected):
        errors.append("%s: %d messages, expected %d" % (path, len(raw_messages), len(expected)))
        return
    for index, (raw, want) in enumerate(zip(raw_messages, expected)):
        message = email.message_from_bytes(raw, policy=email.policy.default)
        if subject_of(message) != want["subject"]:
            errors.append("%s #%d: subject %r, expected %r" % (path, index, subject_of(message), want["subject"]))
        _, separator, body = raw.partition(b"\n\n")
        if not separator:
            errors.append("%s #%d: no end of the header block" % (path, index))
            continue
        got = normalized(unescaped(body).decode("utf-8"))
        if got != normalized(want["body"]):
            errors.append("%s #%d: body %r, expected %r" % (path, index, got, normalized(want["body"])))


def check_eml_directory(path, expected, errors):
    names = sorted(name for name in os.listdir(path) if name.lower().endswith(".eml"))
    found = []
    for name in names:
        with open(os.path.join(path, name), "rb") as handle:
            data = handle.read()
        if b"\r\n" in data and re.search(rb"(?<!\r)\n", data):
            errors.append("%s: line ends of both kinds" % name)
        message = email.message_from_bytes(data, policy=email.policy.default)
        if message.defects:
            errors.append("%s: parse defects %r" % (name, message.defects))
        part = message.get_body(preferencelist=("plain",))
        body = part.get_content() if part is not None else ""
        found.append((subject_of(message), normalized(body)))
    wanted = [(item["subject"], normalized(item["body"])) for item in expected]
    if sorted(found) != sorted(wanted):
        errors.append("%s: found %r, expected %r" % (path, sorted(found), sorted(wanted)))


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    root, expected_path = argv[1], argv[2]
    with open(expected_path, encoding="utf-8") as handle:
        expected = json.load(handle)
    errors = []
    for relative, messages in expected.get("mbox", {}).items():
        check_mbox(os.path.join(root, relative), messages, errors)
    for relative, messages in expected.get("eml", {}).items():
        check_eml_directory(os.path.join(root, relative), messages, errors)
    for error in errors:
        print(error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
