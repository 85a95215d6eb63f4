#!/usr/bin/env python3
"""Reads back every mbox file below a folder with Python's mailbox module.

Usage: read_mailboxes.py FOLDER

One line per mailbox file, sorted by path relative to FOLDER:
"path<TAB>message count<TAB>problems", where problems lists, comma-separated,
what a reader would stumble over: "separator" (a message whose "From " line
is not the writer's "From - <date>"), "marker" (an Apple Mail
X-Apple-Content-Length header left in the output), "unparsed" (a message the
email package finds defects in its structure); "-" when there are none.
"""
import email
import email.errors
import email.policy
import mailbox
import os
import sys


def problems_of(message):
    found = set()
    if not message.get_from().startswith('- '):
        found.add('separator')
    parsed = email.message_from_bytes(message.as_bytes(), policy=email.policy.default)
    for part in parsed.walk():
        if part.get('X-Apple-Content-Length') is not None:
            found.add('marker')
        if any(isinstance(d, (email.errors.StartBoundaryNotFoundDefect,
                              email.errors.CloseBoundaryNotFoundDefect,
                              email.errors.MultipartInvariantViolationDefect))
               for d in part.defects):
            found.add('unparsed')
    return found


def main(folder):
    paths = []
    for directory, _, names in os.walk(folder):
        paths += [os.path.relpath(os.path.join(directory, name), folder)
                  for name in names if name.endswith('.mbox')]
    for path in sorted(paths):
        box = mailbox.mbox(os.path.join(folder, path), create=False)
        problems = set()
        count = 0
        for message in box:
            count += 1
            problems |= problems_of(message)
        box.close()
        print(f"{path}\t{count}\t{','.join(sorted(problems)) or '-'}")
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
