#!/usr/bin/env python3
"""Lists the mail of an archive package as Python's mailbox module reads it.

Usage: check_package.py PACKAGE

One line per mailbox file below the package ("path: message count", paths
relative to the package, sorted), then one line per message of that file,
sorted by subject: "  subject: body lines joined with ' / '". A message
whose separator line is not the writer's "From - <date>" is flagged.
"""
import mailbox
import os
import sys


def main(package):
    paths = []
    for directory, _, names in os.walk(package):
        paths += [os.path.relpath(os.path.join(directory, name), package)
                  for name in names if name.endswith('.mbox')]
    for path in sorted(paths):
        box = mailbox.mbox(os.path.join(package, path), create=False)
        messages = list(box)
        print(f'{path}: {len(messages)}')
        for message in sorted(messages, key=lambda m: m['subject'] or ''):
            separator = '' if message.get_from().startswith('- ') else ' (bad separator)'
            body = message.get_payload().rstrip('\n').split('\n')
            print(f"  {message['subject']}: {' / '.join(body)}{separator}")
        box.close()
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
