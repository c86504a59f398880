// One chamber's session drawn in the page: its figures, the last events, the cumulative record and the
// trial strip. Shared by the chamber's page and the lab's. Every text from the chamber is set as text
// (textContent), never as markup.
"use strict";

const VeltrumView = (() => {
    const eventLines = 20;

    function element(tag, className, text) {
        const e = document.createElement(tag);
        if (className)
            e.className = className;
        if (text !== undefined)
            e.textContent = text;
        return e;
    }

    // An update from the chamber applied to the document it changes (the same rules as the chamber's).
    function applyUpdate(status, update) {
        for (const key of ["figures", "session", "eventCount"])
            if (key in update)
                status[key] = update[key];
        if (update.lines) {
            status.lines = status.lines.concat(update.lines);
            if (status.lines.length > eventLines)
                status.lines = status.lines.slice(status.lines.length - eventLines);
        }
        if (update.steps)
            status.record.steps = status.record.steps.concat(update.steps);
        if (update.marks)
            status.record.marks = status.record.marks.concat(update.marks);
        if ("trialsTail" in update)
            status.trials = status.trials.slice(0, update.trialsFrom) + update.trialsTail;
    }

    function clock(ms) {
        const seconds = Math.floor(Math.max(0, ms) / 1000);
        const pad = (n) => String(n).padStart(2, "0");
        return pad(Math.floor(seconds / 60)) + ":" + pad(seconds % 60);
    }

    // The place of each figure, in the console's order; `compact` leaves out the longer ones.
    const figureRows = [
        ["clock", "Session clock"],
        ["timeLeft", "Time left"],
        ["trial", "Trial"],
        ["cycle", "Trial cycle"],
        ["rewards", "Rewarded pecks"],
        ["goal", "Goal pecks"],
        ["nonGoal", "Non-goal pecks"],
        ["timeouts", "Timeouts"],
        ["headEntries", "Head entries"],
        ["rows", "Rows"],
        ["link", "Tablet"],
    ];

    // Builds the view's elements in `container`; returns them for render().
    function build(container, compact) {
        const parts = {compact: compact};
        const top = element("div", "top");
        parts.subject = element("span", "subject");
        parts.phaseSession = element("span", "phase-session");
        top.append(parts.subject, parts.phaseSession);
        parts.alarm = element("div", "link-alarm");
        parts.alarm.hidden = true;
        const middle = element("div", "middle");
        const figures = element("dl", "figures");
        for (const [key, caption] of figureRows) {
            const row = element("div", "figure");
            const value = element("dd", "value");
            value.dataset.figure = key;
            row.append(element("dt", "caption", caption), value);
            figures.append(row);
            parts[key] = value;
        }
        parts.events = element("ol", "events");
        middle.append(figures, parts.events);
        parts.record = element("canvas", "record");
        parts.strip = element("canvas", "strip");
        container.append(top, parts.alarm, middle, parts.record, parts.strip);
        return parts;
    }

    function linkText(figures, session) {
        const link = figures.link;
        let text = link.connected ? "connected, " + link.address : "not connected";
        if (link.connected && link.lastMessageAgoMs >= 0)
            text += ", last message " + Math.floor(link.lastMessageAgoMs / 1000) + " s ago";
        if (session.linkLosses > 0)
            text += " (lost " + session.linkLosses + " time(s) this session)";
        return text;
    }

    function set(e, text) {
        if (e.textContent !== text)
            e.textContent = text;
    }

    function render(parts, status) {
        const f = status.figures;
        const s = status.session;
        set(parts.subject, f.subject);
        set(parts.phaseSession, f.phase + "   session " + f.session);
        const started = f.startedAtMs >= 0;
        set(parts.clock, started ? clock(f.elapsedMs) : "not started");
        set(parts.timeLeft, started ? clock(f.sessionMinutes * 60000 - f.elapsedMs + 999)
                                    : clock(f.sessionMinutes * 60000));
        set(parts.trial, f.trial + " of " + f.totalTrials);
        set(parts.cycle, f.stateText);
        set(parts.rewards, String(f.rewards));
        set(parts.goal, String(f.goalPecks));
        set(parts.nonGoal, String(f.nonGoalPecks));
        set(parts.timeouts, String(f.timeouts));
        set(parts.headEntries, String(f.headEntries));
        set(parts.rows, f.rowsWritten + " written, " + f.rowsWaiting + " waiting");
        parts.rows.classList.toggle("alarm", f.rowsWaiting > 0);
        set(parts.link, linkText(f, s));
        const lost = s.linkLost && !f.link.connected;
        parts.link.classList.toggle("alarm", lost);
        parts.link.classList.toggle("warning", !lost && s.linkLosses > 0);
        parts.alarm.hidden = !lost;
        if (lost)
            set(parts.alarm, "TABLET LINK LOST at " + clock(s.linkLostAtMs - f.startedAtMs) +
                                 ": pecks on the tablet are not arriving");
        renderLines(parts, status.lines);
        drawRecord(parts.record, status);
        drawStrip(parts.strip, status);
    }

    function renderLines(parts, lines) {
        const shown = parts.compact ? lines.slice(-4) : lines;
        const key = shown.length + ":" + (shown.length ? shown[shown.length - 1].atMs + shown[shown.length - 1].text : "");
        if (parts.linesKey === key)
            return;
        parts.linesKey = key;
        const items = shown.map((line) => element("li", "", line.text));
        parts.events.replaceChildren(...items);
    }

    // A canvas drawn at the screen's resolution; returns its context and size in CSS pixels.
    function surface(canvas) {
        const ratio = window.devicePixelRatio || 1;
        const width = canvas.clientWidth;
        const height = canvas.clientHeight;
        if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
            canvas.width = Math.round(width * ratio);
            canvas.height = Math.round(height * ratio);
        }
        const g = canvas.getContext("2d");
        g.setTransform(ratio, 0, 0, ratio, 0, 0);
        g.clearRect(0, 0, width, height);
        return {g, width, height};
    }

    // Pecks stepping up over session minutes, green triangles for food, red squares for timeouts, the pen
    // back at the bottom after `height` pecks.
    function drawRecord(canvas, status) {
        const {g, width, height} = surface(canvas);
        const f = status.figures;
        const record = status.record;
        const left = 34, right = 8, top = 8, bottom = 20;
        const spanMs = Math.max(f.sessionMinutes * 60000, f.elapsedMs, 60000);
        const x = (ms) => left + (width - left - right) * Math.min(ms, spanMs) / spanMs;
        const y = (h) => height - bottom - (height - top - bottom) * h / record.height;
        g.fillStyle = "#fff";
        g.fillRect(0, 0, width, height);
        g.strokeStyle = "#bbb";
        g.lineWidth = 1;
        g.strokeRect(left, top, width - left - right, height - top - bottom);
        g.fillStyle = "#555";
        g.font = "11px sans-serif";
        const minutes = spanMs / 60000;
        const every = minutes > 30 ? 10 : minutes > 10 ? 5 : minutes > 4 ? 2 : 1;
        for (let m = 0; m <= minutes; m += every)
            g.fillText(String(m), x(m * 60000) - 3, height - 6);
        g.fillText(String(record.height), 4, top + 8);
        g.fillText("0", 4, height - bottom);
        g.strokeStyle = "#141414";
        g.lineWidth = 1.5;
        g.beginPath();
        let pen = 0;
        g.moveTo(x(0), y(0));
        for (const [at, h] of record.steps) {
            g.lineTo(x(at), y(pen));
            g.lineTo(x(at), y(h));
            pen = h;
        }
        if (f.startedAtMs >= 0)
            g.lineTo(x(f.elapsedMs), y(pen));
        g.stroke();
        for (const [at, h, kind] of record.marks) {
            const px = x(at), py = y(h);
            if (kind === "food") {
                g.fillStyle = "rgb(0,150,60)";
                g.beginPath();
                g.moveTo(px, py - 7);
                g.lineTo(px - 5, py + 2);
                g.lineTo(px + 5, py + 2);
                g.closePath();
                g.fill();
            } else {
                g.fillStyle = "rgb(210,40,40)";
                g.fillRect(px - 3.5, py - 3.5, 7, 7);
            }
        }
    }

    const trialColours = {"*": "rgb(120,160,230)", R: "rgb(0,160,70)", P: "rgb(235,170,30)", N: "rgb(200,60,60)"};

    // One cell per trial of the session: rewarded, pecked without reward, no peck, under way.
    function drawStrip(canvas, status) {
        const {g, width, height} = surface(canvas);
        const total = Math.max(status.figures.totalTrials, status.trials.length, 1);
        const cell = width / total;
        g.fillStyle = "rgb(245,245,245)";
        g.fillRect(0, 0, width, height);
        for (let i = 0; i < status.trials.length; ++i) {
            g.fillStyle = trialColours[status.trials[i]] || "#999";
            g.fillRect(i * cell, 0, Math.max(cell - (cell > 4 ? 1 : 0), 1), height);
        }
        g.strokeStyle = "rgb(150,150,150)";
        g.strokeRect(0.5, 0.5, width - 1, height - 1);
    }

    // How long each event took from the chamber to this page's elements (the last 5,000), for measuring.
    const delays = [];
    function noteDelays(update) {
        if (!update.events)
            return;
        const now = Date.now();
        for (const e of update.events) {
            delays.push(now - e.publishedAt);
            if (delays.length > 5000)
                delays.shift();
        }
    }
    window.veltrumDelays = delays;

    function timeOfDay(epochMs) {
        return new Date(epochMs).toLocaleTimeString();
    }

    return {applyUpdate, build, render, clock, element, noteDelays, timeOfDay};
})();
