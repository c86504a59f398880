'use strict';
// The chamber's tablet in a browser. The controller's display messages ("7,0,0,0,0,0": the picture at
// positions 1 to 6, 0 for none) arrive over a WebSocket; each touch is sent as the TCP tablet sends it,
// the position number and a line end. A touch anywhere on the stage goes to the nearest position, shown
// or not, as the reference tablet reports a touch on an empty position; a touch outside the stage sends
// nothing.
(function () {
    const stage = document.getElementById('stage');
    const link = document.getElementById('link');
    const slots = Array.from(document.querySelectorAll('.slot'));
    const pictures = {};
    const reconnectMs = 1000;
    // The controller's heartbeat comes every two seconds; a link silent for longer than this is dead.
    const silentMs = 5000;
    let socket = null;
    let heard = 0;
    let connected = false;

    // Measurements for the benchmarks: a display message's arrival to the next frame, and touches sent.
    window.veltrumTablet = { paints: [], touches: [], displays: 0, connects: 0 };

    function fit() {
        const scale = Math.min(window.innerWidth / 800, window.innerHeight / 600);
        stage.style.left = (window.innerWidth / 2) + 'px';
        stage.style.top = (window.innerHeight / 2) + 'px';
        stage.style.transform = 'translate(-' + (400 * scale) + 'px, -' + (300 * scale) + 'px) scale(' + scale + ')';
    }

    // The seven pictures are fetched and decoded before any trial needs them.
    function preload() {
        for (let number = 1; number <= 7; ++number) {
            const image = new Image();
            image.src = '/images/' + number + '.bmp';
            pictures[number] = image;
            if (image.decode)
                image.decode().catch(function () {});
        }
    }

    function show(text) {
        const fields = text.split(',');
        if (fields.length !== 6 || !fields.every(function (f) { return /^[0-9]{1,5}$/.test(f); }))
            return;
        const arrived = performance.now();
        window.veltrumTablet.lastArrival = arrived;
        fields.forEach(function (field, i) {
            const number = parseInt(field, 10);
            const slot = slots[i];
            if (number >= 1 && number <= 7) {
                const src = pictures[number].src;
                if (slot.src !== src)
                    slot.src = src;
                slot.classList.add('shown');
            } else {
                slot.classList.remove('shown');
            }
        });
        window.veltrumTablet.displays += 1;
        requestAnimationFrame(function () {
            window.veltrumTablet.paints.push(performance.now() - arrived);
            if (window.veltrumTablet.paints.length > 10000)
                window.veltrumTablet.paints.shift();
        });
    }

    function setConnected(now) {
        connected = now;
        link.classList.toggle('connected', now);
        if (!now)
            slots.forEach(function (slot) { slot.classList.remove('shown'); });
    }

    function connect() {
        const opened = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/link');
        socket = opened;
        opened.onopen = function () {
            if (socket !== opened)
                return;
            heard = performance.now();
            window.veltrumTablet.connects += 1;
            setConnected(true);
        };
        opened.onmessage = function (event) {
            if (socket !== opened)
                return;
            heard = performance.now();
            if (typeof event.data === 'string' && event.data.length > 0)
                show(event.data);
        };
        opened.onclose = function () {
            if (socket !== opened)
                return;
            socket = null;
            setConnected(false);
            setTimeout(connect, reconnectMs);
        };
    }

    // A link that went silent (a Wi-Fi drop) is given up and opened again, without waiting for the
    // browser to notice.
    setInterval(function () {
        if (socket && connected && performance.now() - heard > silentMs) {
            const dead = socket;
            socket = null;
            setConnected(false);
            try { dead.close(); } catch (e) { /* already closed */ }
            connect();
        }
    }, 1000);

    function positionAt(x, y) {
        const box = stage.getBoundingClientRect();
        const u = (x - box.left) / box.width * 800;
        const v = (y - box.top) / box.height * 600;
        if (u < 0 || v < 0 || u > 800 || v > 600)
            return 0;
        const column = u < 250 ? 0 : (u < 550 ? 1 : 2);
        return (v < 300 ? 1 : 4) + column;
    }

    function touched(x, y, time) {
        const position = positionAt(x, y);
        if (position === 0 || !socket || !connected)
            return;
        socket.send(position + '\n');
        window.veltrumTablet.touches.push({ position: position, at: performance.timeOrigin + time });
    }

    function keepScreen() {
        if (document.fullscreenElement === null && document.documentElement.requestFullscreen)
            document.documentElement.requestFullscreen({ navigationUI: 'hide' }).catch(function () {});
        if (navigator.wakeLock && document.visibilityState === 'visible' && !keepScreen.lock) {
            navigator.wakeLock.request('screen').then(function (lock) {
                keepScreen.lock = lock;
                lock.addEventListener('release', function () { keepScreen.lock = null; });
            }).catch(function () {});
        }
    }

    // One touch at a time: a second finger (or a wing) while one is down is not a touch.
    document.addEventListener('touchstart', function (event) {
        event.preventDefault();
        if (event.touches.length !== 1)
            return;
        const touch = event.changedTouches[0];
        touched(touch.clientX, touch.clientY, event.timeStamp);
    }, { passive: false });
    ['touchmove', 'touchend', 'touchcancel', 'gesturestart', 'dblclick', 'contextmenu', 'selectstart',
     'dragstart'].forEach(function (name) {
        document.addEventListener(name, function (event) { event.preventDefault(); }, { passive: false });
    });
    // Full screen and the wake lock need a user's gesture: the first touch (or click) asks for them.
    document.addEventListener('touchend', keepScreen);
    document.addEventListener('click', keepScreen);
    // A mouse, for trying the page at a desk.
    document.addEventListener('mousedown', function (event) {
        if (event.button === 0)
            touched(event.clientX, event.clientY, event.timeStamp);
    });
    document.addEventListener('visibilitychange', function () {
        if (document.visibilityState === 'visible' && !keepScreen.lock)
            keepScreen();
    });
    window.addEventListener('resize', fit);

    fit();
    preload();
    connect();
}());
