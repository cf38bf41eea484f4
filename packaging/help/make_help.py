#!/usr/bin/env python3
"""Makes Traskel-Hilfe.html, the help installed beside traskel.exe: the user's
part of README.md and all of docs/messages.md as one page.

The build makes it from the documents themselves, through the Markdown
converter named, so that it says what they say. A link between the two
becomes a link within the page; a link to any other document becomes its
text, as that document is not installed. A picture is put into the page.

    make_help.py CMARK_GFM README.md docs/messages.md OUT.html

It fails, and names why, when a heading it needs is missing, two headings
would get the same id, a link within the page leads nowhere, or the
converter would drop text it takes for HTML.
"""
import base64
import html
import os
import re
import subprocess
import sys

TITLE = "Traskel Hilfe"

# README.md's part for users: what lies between the build commands at its
# top, which make Traskel from its sources, and "More", which lists
# documents for developers that are not installed.
README_FROM = "## What it does"
README_UNTIL = "## More"

STYLE = """
body { font-family: sans-serif; line-height: 1.45; max-width: 52em; margin: 2em auto;
       padding: 0 1em; color: #1f2328; background: #fff; }
h1 { border-bottom: 1px solid #d0d7de; padding-bottom: .2em; margin-top: 1.6em; }
h2 { margin-top: 1.4em; }
code, pre { font-family: monospace; background: #f3f4f6; }
code { padding: 0 .2em; }
pre { padding: .6em .8em; overflow-x: auto; }
pre code { padding: 0; }
table { border-collapse: collapse; margin: .8em 0; }
th, td { border: 1px solid #d0d7de; padding: .3em .6em; text-align: left; vertical-align: top; }
th { background: #f3f4f6; }
img { max-width: 100%; }
"""


def fail(why):
    sys.exit("make_help.py: " + why)


def readme_for_users(text):
    start, end = text.find("\n" + README_FROM + "\n"), text.find("\n" + README_UNTIL + "\n")
    if not text.startswith("# ") or start < 0 or end < start:
        fail(f'README.md has no "# " title, "{README_FROM}" or "{README_UNTIL}" after it')
    title = text[: text.index("\n") + 1]
    return title + text[start:end + 1]


def to_html(cmark, markdown):
    # Tables are GitHub's pipe tables, which CommonMark alone leaves as text.
    converted = subprocess.run([cmark, "--to", "html", "-e", "table"], input=markdown,
                               capture_output=True, text=True, encoding="utf-8", check=True)
    if "raw HTML omitted" in converted.stdout:
        fail("text in <...> would be lost as HTML; write it as \\<...> or in `code`")
    return converted.stdout


def slug(heading_html):
    """The id a heading gets, as the documents' own links name it: its text
    in lower case, without punctuation, spaces as hyphens."""
    text = html.unescape(re.sub(r"<[^>]+>", "", heading_html)).lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def add_ids(page):
    ids = []

    def with_id(match):
        level, inner = match.group(1), match.group(2)
        ids.append(slug(inner))
        return f'<h{level} id="{ids[-1]}">{inner}</h{level}>'

    page = re.sub(r"<h([1-6])>(.*?)</h\1>", with_id, page)
    twice = sorted({i for i in ids if ids.count(i) > 1})
    if twice:
        fail("headings with the same id: " + ", ".join(twice))
    return page, set(ids)


def relink(page, document, tops):
    """Links of the document (its path from the repository's top) that lead
    to a document of the page lead into the page; others to documents become
    their text. tops maps each document of the page to its first heading."""
    folder = os.path.dirname(document)

    def link(match):
        href, text = html.unescape(match.group(1)), match.group(2)
        if href.startswith("#") or re.match(r"[a-z]+:", href):
            return match.group(0)
        path, _, anchor = href.partition("#")
        target = os.path.normpath(os.path.join(folder, path))
        if target in tops:
            return f'<a href="#{html.escape(anchor or tops[target])}">{text}</a>'
        return text

    return re.sub(r'<a href="([^"]*)">(.*?)</a>', link, page, flags=re.S)


def embed_pictures(page, document, top):
    def picture(match):
        path = os.path.join(top, os.path.dirname(document), html.unescape(match.group(1)))
        with open(path, "rb") as file:
            data = base64.b64encode(file.read()).decode("ascii")
        kind = os.path.splitext(path)[1].lstrip(".").replace("jpg", "jpeg")
        return f'<img src="data:image/{kind};base64,{data}"'

    return re.sub(r'<img src="([^":]*)"', picture, page)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    cmark, readme_path, messages_path, out = sys.argv[1:]
    top = os.path.dirname(os.path.abspath(readme_path))
    documents = []  # (path from the top, its Markdown)
    for path, part in ((readme_path, readme_for_users), (messages_path, lambda text: text)):
        with open(path, encoding="utf-8") as file:
            documents.append((os.path.relpath(os.path.abspath(path), top), part(file.read())))

    parts, tops, all_ids = [], {}, set()
    for document, markdown in documents:
        part, ids = add_ids(to_html(cmark, markdown))
        first = re.search(r'<h1 id="([^"]*)"', part)
        if first is None:
            fail(document + " has no title")
        tops[document] = first.group(1)
        if ids & all_ids:
            fail("headings with the same id: " + ", ".join(sorted(ids & all_ids)))
        all_ids |= ids
        parts.append((document, part))
    body = "".join(embed_pictures(relink(part, document, tops), document, top)
                   for document, part in parts)
    dead = sorted(set(re.findall(r'<a href="#([^"]*)"', body)) - all_ids)
    if dead:
        fail("links to no heading: " + ", ".join("#" + d for d in dead))

    page = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{TITLE}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n"
            f"{body}</body>\n</html>\n")
    with open(out, "w", encoding="utf-8", newline="\n") as file:
        file.write(page)


if __name__ == "__main__":
    main()
