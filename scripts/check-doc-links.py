#!/usr/bin/env python3
"""Checks the links of the project's Markdown documents.

Every relative link in README.md and docs/**/*.md (inline links and
images) must name a file or folder of the tree, and an anchor
(#section) a heading of the file it points into, spelt as GitHub spells
heading anchors. Web addresses are not fetched. Prints each broken link
as FILE:LINE: TARGET (why) and exits 1 when there is one.

usage: check-doc-links.py [ROOT]
"""
import os
import re
import sys

LINK = re.compile(r'!?\[(?:[^\]\[]|\[[^\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
HEADING = re.compile(r'^(#{1,6})\s+(.*?)\s*#*\s*$')


def anchor_of(heading):
    """GitHub's anchor of a heading: lower case, punctuation dropped, spaces
    to hyphens."""
    text = re.sub(r'`|\*\*|__', '', heading).strip().lower()
    text = re.sub(r'\[([^\]]*)\]\([^)]*\)', r'\1', text)
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def outside_code(lines, inline=True):
    """The lines outside fenced code blocks, inline code blanked unless
    `inline` is false."""
    fenced = False
    for number, line in enumerate(lines, 1):
        if line.lstrip().startswith('```'):
            fenced = not fenced
            continue
        if not fenced:
            yield number, re.sub(r'`[^`]*`', '', line) if inline else line


def anchors(path, cache={}):
    if path not in cache:
        seen = {}
        with open(path, encoding='utf-8') as f:
            for _, line in outside_code(f.read().split('\n'), inline=False):
                m = HEADING.match(line)
                if not m:
                    continue
                base = anchor_of(m.group(2))
                count = seen.get(base, 0)
                seen[base] = count + 1
                seen.setdefault(base if count == 0 else f'{base}-{count}', 1)
        cache[path] = set(seen)
    return cache[path]


def problems(root, document):
    with open(document, encoding='utf-8') as f:
        lines = f.read().split('\n')
    for number, line in outside_code(lines):
        for target in LINK.findall(line):
            if re.match(r'^[a-z][a-z0-9+.-]*:', target):
                continue  # https:, mailto: and the like
            path, _, anchor = target.partition('#')
            where = os.path.normpath(os.path.join(os.path.dirname(document), path)) if path else document
            if not os.path.exists(where):
                yield number, target, 'no such file'
            elif not os.path.abspath(where).startswith(os.path.abspath(root)):
                yield number, target, 'outside the tree'
            elif anchor and where.endswith('.md') and anchor not in anchors(where):
                yield number, target, 'no such heading'


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else '.'
    documents = [os.path.join(root, 'README.md')]
    for folder, _, names in os.walk(os.path.join(root, 'docs')):
        documents += [os.path.join(folder, n) for n in sorted(names) if n.endswith('.md')]
    broken = 0
    for document in documents:
        for number, target, why in problems(root, document):
            print(f'{os.path.relpath(document, root)}:{number}: {target} ({why})')
            broken += 1
    print(f'check-doc-links: {len(documents)} documents, {broken} broken links')
    return 1 if broken else 0


if __name__ == '__main__':
    sys.exit(main())
