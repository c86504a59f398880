#!/usr/bin/python3
"""Latency of the tablet page beside the TCP tablet, in one run of the real controller over loopback.

Usage: tablet_latency.py --veltrum BIN --data DIR --parameters P101.xls [--trials N]
(run with /usr/bin/python3; Debian's selenium, chromium-driver, Xvfb and xdotool)

One "Auto" session on the simulated card serves the tablet page. The first half of the trials a TCP
tablet (a loopback client sending the reference tablet's bytes) touches each picture after the fixed
interval; then headless Chromium opens the page, takes the slot over and does the same with DevTools
touches. For each rewarded touch: from the touch (the browser's event time; the client's send) to the
blank display message arriving back, which the controller sends in the same handler just before it
writes the hopper up, so it bounds touch to hopper write from above (plus one loopback trip). For each
picture shown in the browser: from the display message's arrival to the next animation frame.
Write the parameters with: bench/make_long_session_parameters.py OUT.xls 100 20 3 1 1 1 300
"""
import argparse
import os
import socket
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
sys.dont_write_bytecode = True
import tablet_page_test as t  # noqa: E402


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * (len(ordered) - 1) + 0.5))]


def figures(name, values):
    return "%-44s %5d  median %6.2f ms  p99 %6.2f ms  max %6.2f ms" % (
        name, len(values), percentile(values, 0.5), percentile(values, 0.99), max(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--veltrum", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--parameters", required=True)
    parser.add_argument("--trials", type=int, default=100)
    options = parser.parse_args()
    options.shots = tempfile.mkdtemp(prefix="veltrum-latency-shots-")
    work = tempfile.mkdtemp(prefix="veltrum-latency-")
    page_port = t.free_port()
    chamber = t.Chamber(options, work, "chamber",
                        {"TabletPagePort.txt": "%d\r\n" % page_port})
    try:
        run(options, chamber, page_port, work)
    finally:
        for process in t.processes:
            if process.poll() is None:
                process.kill()


def run(options, chamber, page_port, work):
    half = options.trials // 2
    tcp = socket.create_connection(("127.0.0.1", chamber.port))
    tcp.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    tcp.settimeout(20)
    time.sleep(2)
    chamber.start_session()
    print("session started; the TCP tablet touches %d pictures" % half, flush=True)
    tcp_ms = []
    pending = b""
    trials = 0
    while trials < half:
        pending += tcp.recv(4096)
        while len(pending) >= 11:
            message, pending = pending[:11], pending[11:]
            shown = [int(n) for n in message.decode().split(",")]
            if not any(shown):
                continue
            time.sleep(0.45)  # after the fixed interval
            position = next(i for i, n in enumerate(shown) if n) + 1
            sent = time.perf_counter()
            tcp.sendall(b"%d\n" % position)
            answer = b""
            while len(answer) < 11:
                answer += tcp.recv(4096)
            tcp_ms.append((time.perf_counter() - sent) * 1000.0)
            pending = answer[11:]
            trials += 1

    print("the tablet page takes the slot over for %d pictures" % (options.trials - half), flush=True)
    driver = t.browser(os.path.join(work, "profile"))
    try:
        driver.get("http://127.0.0.1:%d/" % page_port)
        t.wait_for("the page to connect", lambda: driver.execute_script("return window.veltrumTablet.connects") >= 1)
        # The touch's event time, as the page sees it (the page keeps each message's arrival).
        driver.execute_script(
            "document.addEventListener('touchstart', function (e) { window.benchTouch = e.timeStamp; }, true);")
        browser_ms = []
        seen = driver.execute_script("return window.veltrumTablet.displays")
        trials = 0
        last = time.monotonic()
        # The trials left, less the one or two that pass while the page takes the slot over; the session's
        # end (no picture for ten seconds) stops it in any case.
        while trials < options.trials - half - 2 and time.monotonic() - last < 10:
            count = driver.execute_script("return window.veltrumTablet.displays")
            if count == seen:
                time.sleep(0.005)
                continue
            last = time.monotonic()
            seen = count
            shown = driver.execute_script(
                "return Array.from(document.querySelectorAll('.slot')).map(function (s) {"
                " return s.classList.contains('shown') ? 1 : 0; });")
            if not any(shown):
                continue
            time.sleep(0.45)
            position = shown.index(1) + 1
            box = driver.execute_script(
                "var r = document.querySelector('.slot[data-position=\"%d\"]').getBoundingClientRect();"
                "return [r.left + r.width / 2, r.top + r.height / 2];" % position)
            driver.execute_cdp_cmd("Input.dispatchTouchEvent",
                                   {"type": "touchStart", "touchPoints": [{"x": box[0], "y": box[1]}]})
            driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})
            t.wait_for("the blank message", lambda: driver.execute_script(
                "return window.veltrumTablet.displays") > seen, 5, 0.002)
            seen = driver.execute_script("return window.veltrumTablet.displays")
            browser_ms.append(driver.execute_script(
                "return window.veltrumTablet.lastArrival - window.benchTouch;"))
            trials += 1
        paints = driver.execute_script("return window.veltrumTablet.paints.slice();")
    finally:
        driver.quit()
    print("load average before the end: %s" % open("/proc/loadavg").read().split()[:3])
    print(figures("TCP tablet: touch sent to blank received", tcp_ms))
    print(figures("tablet page: touch event to blank received", browser_ms))
    print(figures("tablet page: display message to next frame", paints))


if __name__ == "__main__":
    main()
