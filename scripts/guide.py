#!/usr/bin/python3
"""Turns a user guide written in Markdown (docs/guide*.md) into one HTML file that a Windows
user opens with a double click: Markdown through Debian's python3-markdown (tables and heading
anchors), the pictures inside as data, no script, no link to anything outside. @VERSION@ is
replaced by the version.
  guide.py GUIDE.md VERSION OUT.html
"""
import base64
import html
import os
import re
import sys

import markdown

STYLE = """body{font-family:"Segoe UI","Malgun Gothic",sans-serif;max-width:52em;margin:2em auto;
padding:0 1em;line-height:1.5;color:#222}h1,h2,h3{line-height:1.2}h2{border-bottom:1px solid #ccc;
padding-bottom:.2em;margin-top:2em}code,pre{font-family:Consolas,monospace;background:#f4f4f4}
code{padding:0 .2em}pre{padding:.6em;overflow-x:auto}table{border-collapse:collapse;margin:1em 0}
td,th{border:1px solid #ccc;padding:.3em .6em;text-align:left;vertical-align:top}
img{max-width:100%;border:1px solid #ddd;vertical-align:top}"""


def embed_pictures(body, base):
    def data(m):
        path = html.unescape(m.group(1))
        raw = open(os.path.join(base, path), "rb").read()
        return f'src="data:image/png;base64,{base64.b64encode(raw).decode()}"'
    return re.sub(r'src="([^":]+\.png)"', data, body)


def main(argv):
    source, version, target = argv[1], argv[2], argv[3]
    text = open(source, encoding="utf-8").read().replace("@VERSION@", version)
    lang = "ko" if source.endswith(".ko.md") else "en"
    first = re.search(r"^# (.+)$", text, re.M)
    title = first.group(1).strip() if first else "Quillet"
    body = markdown.markdown(text, extensions=["tables", "toc"], output_format="html")
    body = embed_pictures(body, os.path.dirname(os.path.abspath(source)))
    page = (f'<!DOCTYPE html>\n<html lang="{lang}">\n<head>\n<meta charset="utf-8">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n")
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
