#!/usr/bin/env python3
"""Shows how Chromium's HTML parser builds each given file, to settle a difference that
fuzz_html_gumbo found between the tokenizer and gumbo.

usage: chromium_parse.py FILE...

For every file it prints one line: each element in document order as namespace:name (html, svg,
math), and for style, script, textarea, title, xmp and iframe also their text in JSON quotes. An
HTML style with text is raw text; an svg:style or math:style holds markup. The pages are parsed with
DOMParser, which runs no scripts, as a browser shows an archive.
Needs Debian's chromium (apt-get install --no-install-recommends chromium).
"""

import html
import json
import os
import subprocess
import sys
import tempfile

PAGE = """<!DOCTYPE html><html><body><pre id=out></pre><script>
const inputs = %s;
const names = {'http://www.w3.org/1999/xhtml': 'html', 'http://www.w3.org/2000/svg': 'svg',
               'http://www.w3.org/1998/Math/MathML': 'math'};
const withText = ['style', 'script', 'textarea', 'title', 'xmp', 'iframe'];
const out = inputs.map((source) => {
  const doc = new DOMParser().parseFromString(source, 'text/html');
  return Array.from(doc.querySelectorAll('*'), (e) => {
    const name = (names[e.namespaceURI] || e.namespaceURI) + ':' + e.localName;
    return withText.includes(e.localName) ? name + JSON.stringify(e.textContent) : name;
  }).join(' ');
});
document.getElementById('out').textContent = JSON.stringify(out);
</script></body></html>"""


def parse_in_chromium(sources):
    with tempfile.TemporaryDirectory() as folder:
        page = os.path.join(folder, 'parse.html')
        with open(page, 'w', encoding='utf-8') as f:
            f.write(PAGE % json.dumps(sources).replace('</', '<\\/'))
        result = subprocess.run(['chromium', '--headless', '--no-sandbox', '--disable-gpu',
                                 '--user-data-dir=' + os.path.join(folder, 'profile'),
                                 '--dump-dom', 'file://' + page],
                                capture_output=True, text=True, timeout=120)
    dom = result.stdout
    marker = '<pre id="out">'
    start = dom.find(marker)
    if start < 0:
        sys.exit('chromium_parse.py: chromium printed no result:\n' + result.stderr[-2000:])
    start += len(marker)
    return json.loads(html.unescape(dom[start:dom.index('</pre>', start)]))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sources = []
    for name in sys.argv[1:]:
        with open(name, 'rb') as f:
            sources.append(f.read().decode('utf-8', 'replace'))
    for name, source, tree in zip(sys.argv[1:], sources, parse_in_chromium(sources)):
        print('==', name, ':', source[:200].replace('\n', '\\n'))
        print('  ', tree)


if __name__ == '__main__':
    main()
