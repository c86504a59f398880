// The lab's page: every chamber of the lab file side by side, as veltrum-lab gathers them.
"use strict";

(() => {
    const connection = document.getElementById("connection");
    const grid = document.getElementById("chambers");
    let chambers = [];

    function card(chamber) {
        const e = VeltrumView.element;
        const box = e("section", "card");
        const head = e("header", "card-head");
        const name = e("span", "card-name", chamber.name);
        const address = e("span", "card-address", chamber.address);
        head.append(name, address);
        const reach = e("div", "reach");
        const body = e("div", "chamber compact");
        box.append(head, reach, body);
        grid.append(box);
        return {box, reach, body, parts: VeltrumView.build(body, true)};
    }

    function showReach(chamber) {
        const view = chamber.view;
        view.box.classList.toggle("unreachable", !chamber.reachable);
        let text;
        if (chamber.reachable) {
            text = "Live";
        } else {
            text = chamber.lastWordAt > 0
                ? "Off or unreachable; last word at " + VeltrumView.timeOfDay(chamber.lastWordAt)
                : "Off or unreachable; no word since veltrum-lab started";
            if (chamber.problem)
                text += " (" + chamber.problem + ")";
        }
        view.reach.textContent = text;
        view.body.hidden = !chamber.status;
    }

    function take(chamber, message) {
        for (const key of ["reachable", "lastWordAt", "problem"])
            if (key in message)
                chamber[key] = message[key];
        if (message.status)
            chamber.status = message.status;
        else if (message.update && chamber.status)
            VeltrumView.applyUpdate(chamber.status, message.update);
        if (chamber.status)
            VeltrumView.render(chamber.view.parts, chamber.status);
        showReach(chamber);
        if (message.update)
            VeltrumView.noteDelays(message.update);
    }

    const source = new EventSource("/events");
    source.addEventListener("lab", (message) => {
        const lab = JSON.parse(message.data);
        grid.replaceChildren();
        chambers = lab.chambers.map((c) => {
            const chamber = {name: c.name, address: c.address, status: null};
            chamber.view = card(chamber);
            take(chamber, c);
            return chamber;
        });
        connection.textContent = "Live";
        connection.classList.remove("lost");
    });
    source.addEventListener("chamber", (message) => {
        const data = JSON.parse(message.data);
        const chamber = chambers[data.index];
        if (chamber)
            take(chamber, data);
    });
    source.addEventListener("error", () => {
        connection.textContent = "veltrum-lab does not answer; trying again";
        connection.classList.add("lost");
    });
})();
