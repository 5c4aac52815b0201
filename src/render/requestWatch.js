// Runs in the page's own world of every frame, before the page's scripts: tells the renderer's
// isolated world (through window events, which both worlds see) when a fetch() or XMLHttpRequest starts
// and ends, so a page is not taken while a request that may still change it is under way.
(() => {
    'use strict';
    const tell = (name) => window.dispatchEvent(new Event(name));
    const originalFetch = window.fetch;
    if (typeof originalFetch === 'function') {
        window.fetch = function (...args) {
            tell('web2arc-request-start');
            let settled;
            try {
                settled = originalFetch.apply(this, args);
            } catch (error) {
                tell('web2arc-request-end');
                throw error;
            }
            return settled.finally(() => tell('web2arc-request-end'));
        };
    }
    const originalSend = XMLHttpRequest.prototype.send;
    XMLHttpRequest.prototype.send = function (...args) {
        tell('web2arc-request-start');
        this.addEventListener('loadend', () => tell('web2arc-request-end'), {once: true});
        try {
            return originalSend.apply(this, args);
        } catch (error) {
            tell('web2arc-request-end');
            throw error;
        }
    };
})();
