#!/usr/bin/env python3
"""Shows how Chromium's HTML parser builds each given file, to settle a difference that
fuzz_html_gumbo found between the tokenizer and gumbo.

usage: chromium_parse.py FILE[:OFFSET]...

For every file it prints one line: each element in document order (template contents included) as
namespace:name (html, svg, math), and for style, script, textarea, title, xmp, iframe, noembed,
noframes and noscript also their text in JSON quotes. An HTML style with text is raw text; an
svg:style or math:style holds markup. With :OFFSET (the byte
offset fuzz_html_gumbo reports for the differing start tag) it also prints that tag's element alone,
"at OFFSET: ns:name", or "at OFFSET: no element" when the tree builder dropped the tag; the tag is
found by an attribute added to it, which changes nothing else in how it is parsed. The pages are
parsed with DOMParser, which runs no scripts, as a browser shows an archive.
Needs Debian's chromium (apt-get install --no-install-recommends chromium); give it a proxy that
goes nowhere (http_proxy=http://127.0.0.1:9), it needs no network.
"""

import html
import json
import os
import re
import subprocess
import sys
import tempfile

MARK = 'data-chromium-parse-mark'

PAGE = """<!DOCTYPE html><html><body><pre id=out></pre><script>
const inputs = %s;
const names = {'http://www.w3.org/1999/xhtml': 'html', 'http://www.w3.org/2000/svg': 'svg',
               'http://www.w3.org/1998/Math/MathML': 'math'};
const withText = ['style', 'script', 'textarea', 'title', 'xmp', 'iframe', 'noembed', 'noframes', 'noscript'];
const describe = (e) => {
  const name = (names[e.namespaceURI] || e.namespaceURI) + ':' + e.localName;
  return withText.includes(e.localName) ? name + JSON.stringify(e.textContent) : name;
};
// Every element in document order, the contents of templates included.
const elements = (root, list) => {
  for (const e of root.querySelectorAll('*')) {
    list.push(e);
    if (e.content instanceof DocumentFragment)
      elements(e.content, list);
  }
  return list;
};
const out = inputs.map((source) => {
  const doc = new DOMParser().parseFromString(source, 'text/html');
  const all = elements(doc, []);
  const marked = all.find((e) => e.hasAttribute('%s'));
  if (marked)
    marked.removeAttribute('%s');
  return {tree: all.map(describe).join(' '), marked: marked ? describe(marked) : 'no element'};
});
document.getElementById('out').textContent = JSON.stringify(out);
</script></body></html>""" % ('%s', MARK, MARK)


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


def mark_tag(data, offset):
    """The bytes with the marking attribute put after the name of the start tag at `offset`."""
    name = re.match(rb'<[A-Za-z][^\t\n\f\r />]*', data[offset:])
    if not name:
        sys.exit('chromium_parse.py: no start tag at offset %d' % offset)
    end = offset + name.end()
    return data[:end] + b' ' + MARK.encode() + data[end:]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    names, offsets, originals, sources = [], [], [], []
    for argument in sys.argv[1:]:
        name, offset = argument, None
        found = re.fullmatch(r'(.*):(\d+)', argument)
        if found and not os.path.exists(argument):
            name, offset = found.group(1), int(found.group(2))
        with open(name, 'rb') as f:
            data = f.read()
        originals.append(data.decode('utf-8', 'replace'))
        if offset is not None:
            data = mark_tag(data, offset)
        names.append(name)
        offsets.append(offset)
        sources.append(data.decode('utf-8', 'replace'))
    for name, offset, source, result in zip(names, offsets, originals, parse_in_chromium(sources)):
        print('==', name, ':', source[:200].replace('\n', '\\n'))
        print('  ', result['tree'])
        if offset is not None:
            print('   at %d: %s' % (offset, result['marked']))


if __name__ == '__main__':
    main()
