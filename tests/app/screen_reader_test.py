#!/usr/bin/python3
"""A screen reader's view of the real reader, through AT-SPI.

Starts its own X server (Xvfb), its own session bus, and on it the AT-SPI
bus; runs vrel there with its own HOME, runtime folder and settings, and
reads what Orca would read: the feed titles as links in the feed list, and
the text typed into the address box. Pressing a link opens the viewer with
the keyboard's focus, and Escape there hides the viewer, not the reader.

Usage: screen_reader_test.py PATH_OF_VREL
Exit codes: 0 passed, 1 failed, 77 skipped (no X server or bus could start).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
TIMEOUT = 20.0
FEEDS = ["Alpha News", "Beta Journal"]
TYPED = "http://typed.example/feed"


class Skip(Exception):
    pass


def wait_for(what, condition, timeout=TIMEOUT):
    """Polls condition until it gives a true value; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # the tree changes under the reader while it starts
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def start_x_server():
    """Xvfb on a free display; the display number it picked."""
    read_end, write_end = os.pipe()
    try:
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError as error:
        raise Skip("Xvfb cannot start: %s" % error)
    os.close(write_end)
    with os.fdopen(read_end) as reader:
        display = reader.readline().strip()
    if not display:
        server.kill()
        raise Skip("Xvfb did not start")
    return server, ":" + display


def start_session_bus():
    """A private session bus; its address."""
    try:
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    except OSError as error:
        raise Skip("the session bus cannot start: %s" % error)
    address = bus.stdout.readline().strip()
    if not address:
        bus.kill()
        raise Skip("the session bus did not start")
    return bus, address


def check_accessibility_bus(environment):
    """The session bus starts the AT-SPI bus on first request."""
    asked = subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--reply-timeout=10000", "--dest=org.a11y.Bus",
         "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
        env=environment, capture_output=True, text=True)
    if asked.returncode != 0 or "unix:" not in asked.stdout:
        raise Skip("the AT-SPI bus cannot start: " + (asked.stderr.strip() or asked.stdout.strip()))


def write_reader_files(home):
    """Two feeds never downloaded (their addresses answer nothing), and the
    settings that name the data file."""
    data_file = os.path.join(home, "feedstatus.xml")
    with open(data_file, "w") as data:
        data.write('<?xml version="1.0"?><FEEDSTATUS>')
        for port, title in zip((9, 19), FEEDS):
            data.write('<FEED uri="http://127.0.0.1:%d/feed" title="%s"/>' % (port, title))
        data.write("</FEEDSTATUS>")
    settings = os.path.join(home, "config", "Ostrivane Software")
    os.makedirs(settings)
    with open(os.path.join(settings, "vrel.conf"), "w") as conf:
        conf.write("[Settings]\nDataFile=%s\nNotification=0\n" % data_file)
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700)
    return runtime


def descendants(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for index in range(node.childCount):
        yield from descendants(node.getChildAtIndex(index), depth + 1)


def find(root, role, name=None):
    for node in descendants(root):
        if node.getRole() == role and (name is None or node.name == name):
            return node
    return None


def check_reader(vrel, pyatspi):
    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() == vrel.pid:
                return app
        return None

    app = wait_for("vrel in the AT-SPI desktop", application)
    feed_list = wait_for("the feed list", lambda: find(app, pyatspi.ROLE_DOCUMENT_FRAME, "Feeds"))
    links = wait_for("the feed links", lambda: [child for child in descendants(feed_list)
                                                if child.getRole() == pyatspi.ROLE_LINK])
    titles = [link.name for link in links]
    assert titles == FEEDS, "the feed list reads %r" % titles
    print("feed list: " + ", ".join("%s (%s)" % (link.name, link.getRoleName()) for link in links))

    address = wait_for("the address box", lambda: find(app, pyatspi.ROLE_TEXT, "Feed address"))
    wait_for("the focus in the address box",
             lambda: address.getState().contains(pyatspi.STATE_FOCUSED))
    subprocess.run(["xdotool", "type", "--delay", "10", TYPED], check=True)
    text = address.queryText()
    wait_for("the typed text", lambda: text.getText(0, -1) == TYPED)
    assert text.caretOffset == len(TYPED), "the caret stands at %d" % text.caretOffset
    print("address box: %s" % text.getText(0, -1))

    action = links[1].queryAction()
    press = [action.getName(i) for i in range(action.nActions)].index("Press")
    action.doAction(press)
    viewer = wait_for("the viewer", lambda: find(app, pyatspi.ROLE_DOCUMENT_FRAME, "View"))
    wait_for("the focus in the viewer", lambda: viewer.getState().contains(pyatspi.STATE_FOCUSED))
    subprocess.run(["xdotool", "key", "Escape"], check=True)
    wait_for("the viewer to hide", lambda: not viewer.getState().contains(pyatspi.STATE_SHOWING))
    assert vrel.poll() is None, "Escape in the viewer ended the reader"
    assert feed_list.getState().contains(pyatspi.STATE_SHOWING), "the main dialog went"
    print("viewer: opened with the focus, hidden by Escape")


def run(vrel_path):
    home = tempfile.mkdtemp(prefix="vrel-screen-reader-")
    started = []
    try:
        server, display = start_x_server()
        started.append(server)
        bus, address = start_session_bus()
        started.append(bus)
        environment = dict(os.environ, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address, HOME=home,
                           XDG_RUNTIME_DIR=write_reader_files(home), XDG_CONFIG_HOME=os.path.join(home, "config"),
                           QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        environment.pop("NO_AT_BRIDGE", None)
        check_accessibility_bus(environment)
        os.environ.update(environment)
        import pyatspi  # after the environment names the bus

        log = open(os.path.join(home, "vrel.log"), "w+")
        vrel = subprocess.Popen([os.path.abspath(vrel_path)], cwd=home, env=environment, stderr=log)
        started.append(vrel)
        try:
            check_reader(vrel, pyatspi)
        except AssertionError:
            log.seek(0)
            print("vrel said: " + log.read())
            raise
        vrel.send_signal(signal.SIGTERM)
        assert vrel.wait(timeout=TIMEOUT) == 0, "vrel did not end cleanly on SIGTERM"
        return 0
    finally:
        for process in reversed(started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(home, ignore_errors=True)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-2])
        return 2
    try:
        return run(sys.argv[1])
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIPPED
    except AssertionError as failure:
        print("FAIL: %s" % failure)
        return 1


if __name__ == "__main__":
    sys.exit(main())
