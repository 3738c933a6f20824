#!/usr/bin/env python3
"""Every relative link of README.md and docs/*.md leads somewhere: the file or folder exists
and a #anchor names a heading of the target by GitHub's slug (lower case, backticks and
punctuation but '-' and '_' dropped, spaces as '-', a repeated heading with -1, -2, ...).
  check_doc_links.py ROOT"""
import pathlib
import re
import sys


def prose(path):
    """The lines outside fenced code blocks."""
    fence = None
    for line in path.read_text(encoding="utf-8").splitlines():
        marker = re.match(r"\s*(```|~~~)", line)
        if marker and fence in (None, marker.group(1)):
            fence = None if fence else marker.group(1)
        elif fence is None:
            yield line


def anchors(path):
    seen = {}
    for line in prose(path):
        heading = re.match(r"#{1,6}\s+(.*?)\s*$", line)
        if heading:
            slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
            seen[slug] = seen.get(slug, -1) + 1
            yield slug if seen[slug] == 0 else f"{slug}-{seen[slug]}"


def main(root):
    root = pathlib.Path(root)
    pages = [root / "README.md", *sorted((root / "docs").glob("*.md"))]
    bad, count = [], 0
    for page in pages:
        for line in prose(page):
            for target in re.findall(r"\]\(([^)\s]+)\)", re.sub(r"`[^`]*`", "", line)):
                if re.match(r"[a-zA-Z][\w+.-]*:", target):  # https:, mailto:
                    continue
                count += 1
                name, _, anchor = target.partition("#")
                dest = (page.parent / name) if name else page
                if not dest.exists():
                    bad.append(f"{page.relative_to(root)}: ({target}): no such file")
                elif anchor and anchor not in set(anchors(dest)):
                    bad.append(f"{page.relative_to(root)}: ({target}): no such heading")
    print("\n".join(bad) or f"doc links: {count} links in {len(pages)} pages resolve")
    return 1 if bad or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
