#!/usr/bin/python3
"""The status pages in a real browser (headless Chromium through Selenium).

1. A real session: the controller on the simulated card under Xvfb, serving its page on the port in its
   data folder's StatusPort.txt, the reference tablet pecking by itself; the chamber page followed live to
   the session's end, and its counts checked against the summary record and the workbook once saved.
2. The lab page: that chamber and two stand-in chambers, one of them subject "<img src=x onerror=alert(1)>";
   the other stand-in ended midway and shown unreachable with the time of its last word; the markup shown
   as text, never run.
Screenshots go to --shots. Run with /usr/bin/python3 (Debian's selenium and xlrd).
"""
import argparse
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import xlrd
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

MARKUP = "<img src=x onerror=alert(1)>"
processes = []


def say(text):
    print("browser_test: " + text, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start(args, **kwargs):
    process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=kwargs.pop("stderr", subprocess.DEVNULL),
                               **kwargs)
    processes.append(process)
    return process


def wait_for(what, condition, limit=60.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def display():
    for number in range(140, 240):
        if os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
            continue
        start(["Xvfb", ":%d" % number, "-screen", "0", "1280x800x24", "-noreset", "-nolisten", "tcp"])
        wait_for("Xvfb", lambda: os.path.exists("/tmp/.X11-unix/X%d" % number), 10)
        time.sleep(0.3)
        return ":%d" % number
    raise AssertionError("no free display")


def browser(profile):
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--no-first-run", "--window-size=1200,1000",
                     "--user-data-dir=" + profile]:
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    return driver


def figure(driver, name, root=None):
    scope = root if root is not None else driver
    return scope.find_element(By.CSS_SELECTOR, '[data-figure="%s"]' % name).text


def on_display(display_name):
    # On the X display given, whatever platform the test's environment names (ctest's is offscreen).
    return dict(os.environ, DISPLAY=display_name, QT_QPA_PLATFORM="xcb")


def xdo(display_name, *arguments):
    return subprocess.run(["xdotool", *arguments], env=dict(os.environ, DISPLAY=display_name),
                          capture_output=True, text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser()
    for name in ("veltrum", "tablet", "lab", "demo-chamber", "data", "parameters", "shots"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    os.makedirs(options.shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="veltrum-browser-")
    drivers = []
    try:
        run(options, work, drivers)
    finally:
        for driver in drivers:
            try:
                driver.quit()
            except Exception:
                pass
        for process in processes:
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in processes:
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)


def run(options, work, drivers):
    data = os.path.join(work, "Veltrum")
    shutil.copytree(options.data, data)
    shutil.copy(options.parameters, os.path.join(data, "Parameters", "P101.xls"))
    with open(os.path.join(data, "CurrentSchedule.txt"), "w") as f:
        f.write("P101\r\n")
    tablet_port, status_port, lab_port, demo_port, markup_port = (free_port() for _ in range(5))
    with open(os.path.join(data, "PortNumber.txt"), "w") as f:
        f.write("%d\r\n" % tablet_port)
    with open(os.path.join(data, "StatusPort.txt"), "w") as f:
        f.write("# the session's page\r\n%d\r\n" % status_port)

    panel_display, tablet_display = display(), display()
    log = open(os.path.join(work, "veltrum.out"), "w")
    controller = start([options.veltrum, "--data", data, "--card", "simulated", "--no-console", "--no-history"],
                       env=on_display(panel_display), stderr=log)
    wait_for("the status page", lambda: "status page is at" in open(log.name).read(), 30)
    tablet_log = os.path.join(work, "tablet.log")
    start([options.tablet, "--host", "127.0.0.1", "--port", str(tablet_port), "--images", os.path.join(data, "Images"),
           "--auto-peck", "4", "--accuracy", "0.5", "--seed", "11", "--log", tablet_log],
          env=on_display(tablet_display))
    stand_in = start([options.demo_chamber, str(demo_port), "P102"])
    start([options.demo_chamber, str(markup_port), MARKUP])
    lab_file = os.path.join(work, "lab.txt")
    with open(lab_file, "w") as f:
        f.write("# three chambers\nChamber 1  127.0.0.1:%d\nChamber 2  127.0.0.1:%d\nChamber 3  [::1]:%d\n"
                % (status_port, demo_port, markup_port))
    start([options.lab, "--port", str(lab_port), lab_file])

    chamber = browser(os.path.join(work, "profile-chamber"))
    drivers.append(chamber)
    chamber.get("http://127.0.0.1:%d/" % status_port)
    wait_for("the chamber page", lambda: figure(chamber, "trial").endswith(" of 12"), 30)
    # Content-Security-Policy and text only: the page works without any inline script.
    assert chamber.find_element(By.CSS_SELECTOR, ".subject").text == "P101"

    window = wait_for("the controller's window",
                      lambda: xdo(panel_display, "search", "--all", "--pid", str(controller.pid), "--onlyvisible",
                                  "--name", "^Veltrum$").split("\n")[0], 30)
    wait_for("the tablet to connect", lambda: os.path.exists(tablet_log) and " connected" in open(tablet_log).read())
    xdo(panel_display, "mousemove", "--window", window, "310", "436", "click", "1")
    time.sleep(1)
    xdo(panel_display, "windowfocus", "--sync", window)
    xdo(panel_display, "key", "--window", window, "s")
    wait_for("the session to start on the page", lambda: figure(chamber, "clock") != "not started", 20)
    say("session running")

    lab = browser(os.path.join(work, "profile-lab"))
    drivers.append(lab)
    lab.get("http://127.0.0.1:%d/" % lab_port)
    cards = lambda: lab.find_elements(By.CSS_SELECTOR, ".card")
    wait_for("three live chambers", lambda: len(cards()) == 3 and
             all(c.find_element(By.CSS_SELECTOR, ".reach").text == "Live" for c in cards()), 30)
    wait_for("a peck in the lab page", lambda: figure(lab, "goal", cards()[0]) not in ("", "0"), 30)

    # The name written as markup is text wherever it is shown, and nothing of it runs.
    markup_card = cards()[2]
    assert markup_card.find_element(By.CSS_SELECTOR, ".subject").text == MARKUP
    assert not lab.find_elements(By.CSS_SELECTOR, ".chambers img"), "markup became an element"
    try:
        lab.switch_to.alert
        raise AssertionError("a script from the subject's name ran")
    except NoAlertPresentException:
        pass

    # Chamber 2 ends midway: the lab page says so, with the time of its last word.
    time.sleep(2)
    stand_in.send_signal(signal.SIGKILL)
    stand_in.wait()
    killed_at = time.time()
    wait_for("chamber 2 shown unreachable",
             lambda: "unreachable" in cards()[1].find_element(By.CSS_SELECTOR, ".reach").text, 15)
    reach = cards()[1].find_element(By.CSS_SELECTOR, ".reach").text
    say("chamber 2: " + reach)
    assert "last word at" in reach, reach
    assert "unreachable" in cards()[1].get_attribute("class"), "the card is not marked"
    assert cards()[0].find_element(By.CSS_SELECTOR, ".reach").text == "Live"
    time.sleep(1)
    lab.save_screenshot(os.path.join(options.shots, "lab-page.png"))
    chamber.save_screenshot(os.path.join(options.shots, "chamber-page-running.png"))
    assert time.time() - killed_at < 15

    # The session runs to its end; the page then shows what the summary will record.
    wait_for("the session's end on the page", lambda: figure(chamber, "cycle") == "session over", 150)
    wait_for("every row written", lambda: figure(chamber, "rows").endswith(", 0 waiting") and
             not figure(chamber, "rows").startswith("0 "), 20)
    time.sleep(2.5)
    shown = {name: figure(chamber, name) for name in
             ("trial", "rewards", "goal", "nonGoal", "timeouts", "headEntries", "rows")}
    chamber.save_screenshot(os.path.join(options.shots, "chamber-page-ended.png"))
    say("page at the end: %s" % shown)
    delays = chamber.execute_script("return window.veltrumDelays.slice();")
    delays.sort()
    say("event to page: %d events, median %d ms, p99 %d ms, max %d ms" % (
        len(delays), delays[len(delays) // 2], delays[int(0.99 * (len(delays) - 1))], delays[-1]))
    assert delays[int(0.99 * (len(delays) - 1))] <= 250

    # S saves the summary and ends the program; the page says the chamber no longer answers.
    for _ in range(6):
        for summary in xdo(panel_display, "search", "--all", "--pid", str(controller.pid), "--onlyvisible",
                           "--name", "^Form1$").split():
            xdo(panel_display, "windowfocus", "--sync", summary)
            xdo(panel_display, "key", "--window", summary, "s")
        try:
            controller.wait(5)
            break
        except subprocess.TimeoutExpired:
            pass
    assert controller.poll() is not None, "the controller did not end after S"
    wait_for("the chamber page to see the program gone",
             lambda: "does not answer" in chamber.find_element(By.ID, "connection").text, 15)
    assert figure(chamber, "goal") == shown["goal"], "the last figures stay on the page"

    summary = xlrd.open_workbook(os.path.join(data, "Results", "Results_Summary.xls")).sheet_by_index(0)
    record = dict(zip(summary.row_values(0), summary.row_values(summary.nrows - 1)))
    books = [p for p in glob.glob(os.path.join(data, "Results", "P101.*.xls"))]
    assert len(books) == 1, books
    rows = xlrd.open_workbook(books[0]).sheet_by_name("Data").nrows - 1
    say("summary record: Trials %s, Target %s, Screen %s, Timeouts %s; %d rows in %s" % (
        record["Trials"], record["Target"], record["Screen"], record["Timeouts"], rows, os.path.basename(books[0])))
    assert record["Subject"] == "P101"
    assert shown["trial"].split(" of ")[0] == str(int(record["Trials"]))
    assert shown["goal"] == str(int(record["Target"]))
    assert int(shown["goal"]) + int(shown["nonGoal"]) == int(record["Screen"])
    assert shown["timeouts"] == str(int(record["Timeouts"]))
    assert shown["rows"] == "%d written, 0 waiting" % rows
    assert int(shown["rewards"]) > 0
    say("OK")


if __name__ == "__main__":
    # Without a browser to drive, the test cannot be made (ctest counts it as skipped, not passed).
    if not os.path.exists("/usr/bin/chromedriver") or not shutil.which("Xvfb") or not shutil.which("xdotool"):
        print("browser_test: needs chromium-driver, xvfb and xdotool", file=sys.stderr)
        sys.exit(77)
    try:
        main()
    except AssertionError as failure:
        print("browser_test: FAILED: %s" % failure, file=sys.stderr)
        sys.exit(1)
