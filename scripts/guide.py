#!/usr/bin/env python3
"""Turns a user guide written in plain Markdown (docs/guide*.md) into one HTML file that a
Windows user opens with a double click: the pictures inside as data, no script, no link to
anything outside. The guides use only this much Markdown: headings, paragraphs, lists, code
blocks indented by four blanks, tables, pictures, `code`, **bold** and links. @VERSION@ is
replaced by the version.
  guide.py GUIDE.md VERSION OUT.html
"""
import base64
import html
import os
import re
import sys

STYLE = """body{font-family:"Segoe UI","Malgun Gothic",sans-serif;max-width:52em;margin:2em auto;
padding:0 1em;line-height:1.5;color:#222}h1,h2,h3{line-height:1.2}h2{border-bottom:1px solid #ccc;
padding-bottom:.2em;margin-top:2em}code,pre{font-family:Consolas,monospace;background:#f4f4f4}
code{padding:0 .2em}pre{padding:.6em;overflow-x:auto}table{border-collapse:collapse;margin:1em 0}
td,th{border:1px solid #ccc;padding:.3em .6em;text-align:left;vertical-align:top}
img{max-width:100%;border:1px solid #ddd;vertical-align:top}"""


def picture(path, alt, base):
    data = open(os.path.join(base, path), "rb").read()
    return f'<img alt="{html.escape(alt)}" src="data:image/png;base64,{base64.b64encode(data).decode()}">'


def inline(text, base):
    out, pos = [], 0
    pattern = re.compile(r"`([^`]+)`|\*\*(.+?)\*\*|!\[([^\]]*)\]\(([^)]+)\)|\[([^\]]+)\]\(([^)]+)\)")
    for m in pattern.finditer(text):
        out.append(html.escape(text[pos:m.start()]))
        if m.group(1) is not None:
            out.append(f"<code>{html.escape(m.group(1))}</code>")
        elif m.group(2) is not None:
            out.append(f"<strong>{inline(m.group(2), base)}</strong>")
        elif m.group(4) is not None:
            out.append(picture(m.group(4), m.group(3), base))
        else:
            out.append(f'<a href="{html.escape(m.group(6))}">{inline(m.group(5), base)}</a>')
        pos = m.end()
    out.append(html.escape(text[pos:]))
    return "".join(out)


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def convert(lines, base):
    out, i, title = [], 0, ""
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
        elif m := re.match(r"(#{1,3}) (.*)", line):
            level, text = len(m.group(1)), m.group(2).strip()
            title = title or text
            anchor = re.sub(r"[^\w]+", "-", text.lower()).strip("-")
            out.append(f'<h{level} id="{html.escape(anchor)}">{inline(text, base)}</h{level}>')
            i += 1
        elif line.startswith("    "):
            block = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                block.append(lines[i][4:])
                i += 1
            while block and not block[-1].strip():
                block.pop()
            out.append("<pre>" + html.escape("\n".join(block)) + "</pre>")
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(lines[i])
                i += 1
            out.append("<table><tr>" + "".join(f"<th>{inline(c, base)}</th>" for c in cells(rows[0])) + "</tr>")
            for row in rows[2:]:
                out.append("<tr>" + "".join(f"<td>{inline(c, base)}</td>" for c in cells(row)) + "</tr>")
            out.append("</table>")
        elif re.match(r"(- |\d+\. )", line):
            tag = "ul" if line.startswith("- ") else "ol"
            items = []
            while i < len(lines) and (re.match(r"(- |\d+\. )", lines[i]) or lines[i].startswith("  ")):
                if re.match(r"(- |\d+\. )", lines[i]):
                    items.append(re.sub(r"^(- |\d+\. )", "", lines[i]))
                else:
                    items[-1] += " " + lines[i].strip()
                i += 1
            out.append(f"<{tag}>" + "".join(f"<li>{inline(t, base)}</li>" for t in items) + f"</{tag}>")
        else:
            para = []
            while i < len(lines) and lines[i].strip() and not re.match(r"(#{1,3} |\||- |\d+\. |    )", lines[i]):
                para.append(lines[i].strip())
                i += 1
            out.append("<p>" + inline(" ".join(para), base) + "</p>")
    return title, "\n".join(out)


def main(argv):
    source, version, target = argv[1], argv[2], argv[3]
    text = open(source, encoding="utf-8").read().replace("@VERSION@", version)
    lang = "ko" if source.endswith(".ko.md") else "en"
    title, body = convert(text.splitlines(), os.path.dirname(os.path.abspath(source)))
    page = (f'<!DOCTYPE html>\n<html lang="{lang}">\n<head>\n<meta charset="utf-8">\n'
            f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n")
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
