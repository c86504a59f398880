// The chamber's page: the whole status when the event stream opens, then each update as it comes.
"use strict";

(() => {
    const connection = document.getElementById("connection");
    const parts = VeltrumView.build(document.getElementById("chamber"), false);
    let status = null;
    let lastWord = 0;

    function live(text, lost) {
        connection.textContent = text;
        connection.classList.toggle("lost", lost);
    }

    const source = new EventSource("/events");
    source.addEventListener("status", (message) => {
        status = JSON.parse(message.data);
        lastWord = Date.now();
        VeltrumView.render(parts, status);
        document.title = status.figures.subject + " - Veltrum chamber";
        live("Live", false);
    });
    source.addEventListener("update", (message) => {
        if (!status)
            return;
        const update = JSON.parse(message.data);
        lastWord = Date.now();
        VeltrumView.applyUpdate(status, update);
        VeltrumView.render(parts, status);
        VeltrumView.noteDelays(update);
        live("Live", false);
    });
    source.addEventListener("error", () => {
        const since = lastWord ? " (last word at " + VeltrumView.timeOfDay(lastWord) + ")" : "";
        live("The chamber does not answer" + since + "; trying again", true);
    });
})();
