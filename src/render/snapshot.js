// Runs in every frame of a page, in a world of its own (the page's scripts cannot see or change it),
// before the page's own scripts. It tells the renderer when the document has gone quiet, and
// serializes the document as the scripts left it.
//
// Frames the parent may read (same origin, about:blank, srcdoc) are serialized by the parent directly.
// Any other frame is asked through a message naming a fresh nonce; it answers through the console,
// prefixed with the page's secret, which only the renderer reads: an answer never passes through
// anything the page's scripts can observe, so a page cannot read a cross-origin frame this way.
function web2arcInstall(secret) {
    'use strict';
    const maxDepth = 5;
    let lastChange = performance.now();
    let requests = 0; // fetch() and XMLHttpRequest calls under way, told by the page world's watcher
    const loading = new Set(); // scripts and frames added after the load event, until they load or fail

    const touch = () => {
        lastChange = performance.now();
    };

    const isScriptThatLoads = (element) =>
        element.localName === 'script' && element.src && !element.noModule &&
        /^(|module|text\/javascript|application\/javascript|text\/ecmascript)$/i.test(element.type.trim());
    const isFrameThatLoads = (element) =>
        (element.localName === 'iframe' || element.localName === 'frame') && element.loading !== 'lazy';

    const watchLoad = (element) => {
        if (loading.has(element))
            return;
        loading.add(element);
        const done = () => {
            loading.delete(element);
            touch();
        };
        element.addEventListener('load', done, {once: true});
        element.addEventListener('error', done, {once: true});
    };

    new MutationObserver((records) => {
        touch();
        // Before the load event, the event itself waits for what the markup loads.
        if (document.readyState !== 'complete')
            return;
        for (const record of records) {
            for (const node of record.addedNodes) {
                if (node.nodeType !== Node.ELEMENT_NODE)
                    continue;
                for (const element of [node, ...node.querySelectorAll('script,iframe,frame')]) {
                    if (isScriptThatLoads(element) || isFrameThatLoads(element))
                        watchLoad(element);
                }
            }
        }
    }).observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
    window.addEventListener('web2arc-request-start', () => {
        requests++;
        touch();
    });
    window.addEventListener('web2arc-request-end', () => {
        requests = Math.max(0, requests - 1);
        touch();
    });

    window.web2arcState = () => ({quietMs: performance.now() - lastChange, pending: requests + loading.size});

    const doctypeText = (doc) => {
        const type = doc.doctype;
        if (!type)
            return '';
        let text = '<!DOCTYPE ' + type.name;
        if (type.publicId)
            text += ' PUBLIC "' + type.publicId + '"';
        if (type.systemId)
            text += (type.publicId ? '' : ' SYSTEM') + ' "' + type.systemId + '"';
        return text + '>';
    };

    const rulesText = (sheet) => Array.from(sheet.cssRules, (rule) => rule.cssText);

    // Rules a script added to a <style> element (insertRule, the way CSS-in-script libraries work) are
    // not in its text: when the sheet no longer matches its text, the sheet's own rules are written.
    const styleText = (element) => {
        let rules;
        try {
            rules = rulesText(element.sheet);
        } catch (error) {
            return null;
        }
        try {
            const parsed = new CSSStyleSheet();
            parsed.replaceSync(element.textContent);
            const own = rulesText(parsed);
            if (own.length === rules.length && own.every((text, i) => text === rules[i]))
                return null;
        } catch (error) {
            // the text does not parse on its own (an @import, say): write the live rules
        }
        return rules.join('\n');
    };

    const copyFormState = (original, copy) => {
        const tag = original.localName;
        if (tag === 'input') {
            const type = original.type;
            if (type === 'checkbox' || type === 'radio')
                original.checked ? copy.setAttribute('checked', '') : copy.removeAttribute('checked');
            else if (type !== 'password' && type !== 'file') // a typed password never goes into an archive
                copy.setAttribute('value', original.value);
        } else if (tag === 'textarea') {
            copy.textContent = original.value;
        } else if (tag === 'option') {
            original.selected ? copy.setAttribute('selected', '') : copy.removeAttribute('selected');
        }
    };

    // A canvas shows its fallback content in a reader without scripts: an image of it shows the drawing.
    const canvasImage = (original, copy) => {
        let url;
        try {
            url = original.toDataURL('image/png');
        } catch (error) {
            return; // drawn with another origin's pictures: the browser does not let it be read
        }
        const image = copy.ownerDocument.createElement('img');
        for (const attribute of Array.from(copy.attributes))
            image.setAttribute(attribute.name, attribute.value);
        image.setAttribute('width', String(original.width));
        image.setAttribute('height', String(original.height));
        image.setAttribute('src', url);
        copy.replaceWith(image);
    };

    const isInline = (address) => address === '' || address === 'about:blank' || address === 'about:srcdoc';
    // A frame that could not load shows an empty error document: it is left to the archive engine.
    const isLoaded = (doc) => /^(https?|file):/i.test(doc.URL);

    let nextNonce = 0;
    const newNonce = () => secret.slice(0, 8) + '-' + performance.now().toString(36) + '-' + (nextNonce++);

    // One document as it stands: {html, frames: [{address, html}], asked: [{nonce, address}]}.
    const serialize = (doc, depth) => {
        const result = {html: '', frames: [], asked: []};
        const root = doc.documentElement;
        if (!root)
            return result;
        const copy = root.cloneNode(true);
        const selector = 'input,textarea,option,canvas,style,iframe,frame';
        const originals = root.querySelectorAll(selector);
        const copies = copy.querySelectorAll(selector);
        for (let i = 0; i < originals.length && i < copies.length; ++i) {
            const original = originals[i];
            const element = copies[i];
            const tag = original.localName;
            if (tag === 'canvas') {
                canvasImage(original, element);
            } else if (tag === 'style') {
                const text = original.sheet ? styleText(original) : null;
                if (text !== null)
                    element.textContent = text;
            } else if (tag === 'iframe' || tag === 'frame') {
                serializeFrame(original, element, depth + 1, result);
            } else {
                copyFormState(original, element);
            }
        }
        const adopted = doc.adoptedStyleSheets || [];
        const end = copy.querySelector('body') || copy;
        for (const sheet of adopted) {
            const style = doc.createElement('style');
            style.textContent = rulesText(sheet).join('\n');
            end.append(style);
        }
        for (const element of copy.querySelectorAll('script,noscript'))
            element.remove();
        for (const element of [copy, ...copy.querySelectorAll('*')]) {
            for (const name of element.getAttributeNames()) {
                if (name.startsWith('on'))
                    element.removeAttribute(name);
            }
        }
        // The snapshot is UTF-8 whatever the page was written in.
        for (const meta of copy.querySelectorAll('meta[charset],meta[http-equiv]')) {
            if (meta.hasAttribute('charset') || meta.getAttribute('http-equiv').trim().toLowerCase() === 'content-type')
                meta.remove();
        }
        const head = copy.querySelector('head');
        if (head) {
            const charset = doc.createElement('meta');
            charset.setAttribute('charset', 'utf-8');
            head.prepend(charset);
        }
        const doctype = doctypeText(doc);
        result.html = (doctype ? doctype + '\n' : '') + copy.outerHTML;
        return result;
    };

    const serializeFrame = (element, copy, depth, result) => {
        if (depth > maxDepth)
            return;
        let child = null;
        try {
            child = element.contentDocument;
        } catch (error) {
            child = null;
        }
        const readable = child !== null && child.documentElement !== null;
        // srcdoc wins over src, as in the browser; such a frame, or one a script filled in place, has no
        // address of its own to be stored under, so it goes into the copy's srcdoc.
        const address = element.hasAttribute('src') ? element.src : '';
        if (element.hasAttribute('srcdoc') || isInline(address)) {
            if (readable) {
                const inner = serialize(child, depth);
                copy.removeAttribute('src');
                copy.setAttribute('srcdoc', inner.html);
                result.frames.push(...inner.frames);
                result.asked.push(...inner.asked);
            }
            return;
        }
        if (readable) {
            if (!isLoaded(child))
                return;
            const inner = serialize(child, depth);
            result.frames.push({address, html: inner.html}, ...inner.frames);
            result.asked.push(...inner.asked);
            return;
        }
        const target = element.contentWindow;
        if (!target)
            return;
        const nonce = newNonce();
        result.asked.push({nonce, address});
        target.postMessage({web2arcSnapshotRequest: nonce, depth}, '*');
    };

    window.addEventListener('message', (event) => {
        const data = event.data;
        if (!data || typeof data.web2arcSnapshotRequest !== 'string' || event.source !== window.parent)
            return;
        const depth = Number(data.depth);
        if (!(depth >= 1 && depth <= maxDepth))
            return;
        const answer = serialize(document, depth);
        answer.nonce = data.web2arcSnapshotRequest;
        answer.url = document.URL;
        console.log('\u0001web2arc ' + secret + ' ' + JSON.stringify(answer));
    });

    window.web2arcSnapshot = () => {
        const answer = serialize(document, 0);
        answer.url = document.URL;
        return answer;
    };
}
