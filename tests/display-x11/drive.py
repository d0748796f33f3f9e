#!/usr/bin/python3
"""Drives the real plyfold on an X server as a user would and checks what the screen shows.

Started by run.sh inside a private D-Bus session. It starts Xvfb, openbox and the accessibility
bus, then plyfold on the xcb platform with a private home, and goes through the steps below with
real pointer and keyboard input (xdotool). After every step it waits for the screen to settle,
grabs it, forces a full repaint of the main window (one pixel smaller and back) and grabs it
again: both grabs must agree up to a caret's worth of pixels, or the window showed something the
model no longer holds. The accessibility tree of the main window is checked along the way: every
control named, no two page boxes with one name, every button focusable.

Controls are found through the accessibility tree (their screen rectangles): the command bar's
buttons by their captions, the documents' controls by their place in a header rather than by
their names, so that renaming those does not break the run.
Every grab is written to the output folder; a failing run prints that folder.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

import pyatspi

CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON,
    pyatspi.ROLE_TOGGLE_BUTTON,
    pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_TEXT,
    pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_SPIN_BUTTON,
    pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_SCROLL_BAR,
    pyatspi.ROLE_IMAGE,
}
BUTTON_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON}


class Failure(Exception):
    pass


# ---- Screen grabs --------------------------------------------------------------------------------


class Grab:
    """The root window's pixels as rows of RGB bytes (a binary PPM written by ImageMagick's import,
    which composes windows of every visual; xwd leaves 32-bit windows black)."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos : pos + 1].isspace():
                pos += 1
            if data[pos : pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end : end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure(f"unexpected grab format in {path}")
        self.width, self.height = int(fields[1]), int(fields[2])
        start = pos + 1
        line = self.width * 3
        self.rows = [data[start + y * line : start + (y + 1) * line] for y in range(self.height)]
        self.path = path

    def diff_box(self, other, region=None):
        """Bounding box (x, y, w, h) of the pixels that differ inside region, or None."""
        x0, y0, w, h = region or (0, 0, self.width, self.height)
        x0, y0 = max(0, x0), max(0, y0)
        x1, y1 = min(self.width, x0 + w), min(self.height, y0 + h)
        box = None
        for y in range(y0, y1):
            a = self.rows[y][x0 * 3 : x1 * 3]
            b = other.rows[y][x0 * 3 : x1 * 3]
            if a == b:
                continue
            left = next(i for i in range(0, len(a), 3) if a[i : i + 3] != b[i : i + 3]) // 3
            right = next(i for i in range(len(a) - 3, -1, -3) if a[i : i + 3] != b[i : i + 3]) // 3
            left += x0
            right += x0
            if box is None:
                box = [left, y, right, y]
            else:
                box = [min(box[0], left), box[1], max(box[2], right), y]
        if box is None:
            return None
        return (box[0], box[1], box[2] - box[0] + 1, box[3] - box[1] + 1)


# ---- The session ---------------------------------------------------------------------------------


class Session:
    def __init__(self, args):
        self.args = args
        self.scale = args.scale
        self.out = os.path.abspath(args.out)
        self.procs = []
        self.shot = 0
        self.failures = []
        self.window = None
        self.a11y_factor = 1
        self.env = dict(os.environ)

    # -- processes

    def spawn(self, name, cmd, env=None, **kw):
        log = open(os.path.join(self.out, name + ".log"), "wb")
        p = subprocess.Popen(cmd, env=env or self.env, stdout=log, stderr=subprocess.STDOUT, **kw)
        self.procs.append((name, p))
        return p

    def stop(self):
        for name, p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def x(self, *cmd, check=True):
        r = subprocess.run(cmd, env=self.env, capture_output=True, text=True)
        if check and r.returncode != 0:
            raise Failure(f"{' '.join(cmd)}: {r.stderr.strip()}")
        return r.stdout

    def start(self):
        os.makedirs(self.out, exist_ok=True)
        w, h = (1280, 1024) if self.scale == 1 else (1280 * self.scale, 1024 * self.scale)
        read_fd, write_fd = os.pipe()
        self.spawn(
            "xvfb",
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{w}x{h}x24",
             "-nolisten", "tcp", "-noreset", "-dpi", str(96 * self.scale)],
            pass_fds=(write_fd,),
        )
        os.close(write_fd)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()
        home = os.path.join(self.out, "home")
        for sub in ("home", "config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.out, sub), exist_ok=True)
        os.chmod(os.path.join(self.out, "runtime"), 0o700)
        self.env.update(
            HOME=home,
            XDG_CONFIG_HOME=os.path.join(self.out, "config"),
            XDG_DATA_HOME=os.path.join(self.out, "data"),
            XDG_CACHE_HOME=os.path.join(self.out, "cache"),
            XDG_RUNTIME_DIR=os.path.join(self.out, "runtime"),
        )
        self.spawn("openbox", ["openbox", "--sm-disable"])
        self.spawn("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        time.sleep(1.0)
        app_env = dict(self.env)
        app_env.update(
            QT_QPA_PLATFORM="xcb",
            QT_ACCESSIBILITY="1",
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
            QT_SCALE_FACTOR=str(self.scale),
        )
        app_env.pop("QT_SCREEN_SCALE_FACTORS", None)
        self.app = self.spawn("plyfold", [self.args.app], env=app_env)
        self.wait_window("Plyfold")
        # The splash closes on its own a moment after the main window shows; the main window is
        # then the only one.
        deadline = time.time() + 15
        while time.time() < deadline and len(self.visible_windows()) != 1:
            time.sleep(0.2)
        windows = self.visible_windows()
        if len(windows) != 1:
            raise Failure(f"{len(windows)} windows shown after start-up, expected the main window")
        self.window = windows[0]
        self.park()
        # Scaled applications may report their accessible rectangles in unscaled pixels.
        frame = self.rect(self.main_frame())
        self.a11y_factor = max(1, round(self.geometry(self.window)[2] / max(1, frame[2])))

    def visible_windows(self):
        return self.x("xdotool", "search", "--onlyvisible", "--class", "plyfold", check=False).split()

    # -- windows and input

    def wait_window(self, pattern, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.app.poll() is not None:
                raise Failure(f"plyfold exited with status {self.app.returncode}")
            ids = self.x("xdotool", "search", "--onlyvisible", "--name", pattern, check=False).split()
            if ids:
                return ids[-1]
            time.sleep(0.2)
        raise Failure(f"no window named like {pattern!r}")

    def wait_new_window(self, before, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            new = [w for w in self.visible_windows() if w not in before]
            if new:
                return new[-1]
            time.sleep(0.2)
        raise Failure("no new window opened")

    def window_gone(self, wid, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            r = subprocess.run(["xdotool", "getwindowname", wid], env=self.env, capture_output=True)
            visible = self.x("xdotool", "search", "--onlyvisible", "--name", ".", check=False).split()
            if r.returncode != 0 or wid not in visible:
                return
            time.sleep(0.2)
        raise Failure(f"window {wid} did not close")

    def geometry(self, wid):
        """Screen position and size of a window's client area."""
        out = self.x("xwininfo", "-id", wid)

        def field(name):
            return int(re.search(rf"{name}:\s+(-?\d+)", out).group(1))

        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def park(self):
        # Away from every window: no hover look, no tooltip.
        self.x("xdotool", "mousemove", str(1275 * self.scale), str(1015 * self.scale))

    def click(self, point, button=1):
        x, y = point
        self.x("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.15)
        self.x("xdotool", "click", str(button))

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "60", *keys)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "25", text)

    # -- the accessibility tree

    def app_root(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == "Plyfold":
                return a
        raise Failure("plyfold is not on the accessibility bus")

    def main_frame(self):
        root = self.app_root()
        for i in range(root.childCount):
            f = root.getChildAtIndex(i)
            if f is not None and f.getRole() == pyatspi.ROLE_FRAME and "Plyfold" in f.name:
                return f
        raise Failure("no main window on the accessibility bus")

    @staticmethod
    def walk(node):
        stack = [node]
        while stack:
            n = stack.pop()
            yield n
            for i in range(n.childCount - 1, -1, -1):
                c = n.getChildAtIndex(i)
                if c is not None:
                    stack.append(c)

    @staticmethod
    def showing(node):
        return node.getState().contains(pyatspi.STATE_SHOWING)

    def rect(self, node):
        """A node's rectangle in screen pixels (the bridge may report scaled coordinates)."""
        e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        f = self.a11y_factor
        return (e.x * f, e.y * f, e.width * f, e.height * f)

    @staticmethod
    def centre(r):
        return (r[0] + r[2] // 2, r[1] + r[3] // 2)

    def find(self, role, name_pattern, within=None):
        for n in self.walk(within or self.main_frame()):
            if n.getRole() == role and self.showing(n) and re.search(name_pattern, n.name or ""):
                return n
        raise Failure(f"no {pyatspi.Role(role)} named like {name_pattern!r}")

    def areas(self):
        """(work area, output area): the two panels of the main view, left and right."""
        frame = self.main_frame()
        panels = []
        for n in self.walk(frame):
            if n is frame or n.getRole() not in (pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL):
                continue
            if not self.showing(n):
                continue
            r = self.rect(n)
            if r[3] > 200 * self.scale and r[2] > 100 * self.scale and n.parent is not None:
                parent_rect = self.rect(n.parent)
                if parent_rect[2] > r[2]:  # a part of the main view, not the main view
                    panels.append((r, n))
        if len(panels) < 2:
            raise Failure("work area and output column not found in the accessibility tree")
        panels.sort(key=lambda p: (p[0][2] * p[0][3]), reverse=True)
        big = sorted(panels[:2], key=lambda p: p[0][0])
        return big[0][1], big[1][1]

    def controls(self, area, role=None):
        found = []
        for n in self.walk(area):
            if n is area or not self.showing(n):
                continue
            if role is None or n.getRole() in (role if isinstance(role, set) else {role}):
                found.append((self.rect(n), n))
        return found

    def headers(self):
        """Work-area documents in screen order: the range edit and its header's controls."""
        work, _ = self.areas()
        edits = self.controls(work, {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY})
        buttons = [r for r, _ in self.controls(work, BUTTON_ROLES)]
        checks = [r for r, _ in self.controls(work, pyatspi.ROLE_CHECK_BOX)]
        s = self.scale
        out = []
        for e, node in sorted(edits, key=lambda item: (item[0][1], item[0][0])):
            left, right = e[0], e[0] + e[2] + 40 * s
            mine = [b for b in buttons if left <= self.centre(b)[0] <= right]
            remove = [b for b in mine if e[1] - 30 * s <= b[1] < e[1]]
            expand = [b for b in mine if e[1] + e[3] < b[1] <= e[1] + 160 * s]
            include = [c for c in checks
                       if abs(self.centre(c)[1] - self.centre(e)[1]) < 6 * s
                       and e[0] + e[2] <= c[0] <= e[0] + e[2] + 30 * s]
            out.append({
                "edit": e,
                "pages": node.queryText().getText(0, -1),
                "remove": remove[0] if remove else None,
                "expand": min(expand, key=lambda b: b[1]) if expand else None,
                "include": include[0] if include else None,
                "title": (e[0] + 20 * s, e[1] - 12 * s),
            })
        return out

    def page_checks(self):
        """The check boxes of page boxes: every check box but the headers' include boxes."""
        work, _ = self.areas()
        includes = {h["include"] for h in self.headers()}
        return sorted(
            (r for r, _ in self.controls(work, pyatspi.ROLE_CHECK_BOX) if r not in includes),
            key=lambda r: (r[1], r[0]),
        )

    def output_title(self):
        _, output = self.areas()
        return output.name or ""

    def expect_output_pages(self, pages):
        deadline = time.time() + 10
        title = ""
        while time.time() < deadline:
            title = self.output_title()
            if re.search(rf"\b{pages}\b", title):
                return
            time.sleep(0.2)
        raise Failure(f"output column reads {title!r}, expected {pages} pages")

    # -- accessibility checks

    def check_accessibility(self, step):
        problems = []
        frame = self.main_frame()
        for n in self.walk(frame):
            if n is frame or not self.showing(n) or n.getRole() not in CONTROL_ROLES:
                continue
            r = self.rect(n)
            if not (n.name or "").strip():
                problems.append(f"unnamed {n.getRoleName()} at {r}")
            if n.getRole() in BUTTON_ROLES and not n.getState().contains(pyatspi.STATE_FOCUSABLE):
                problems.append(f"button {n.name!r} at {r} cannot take the keyboard focus")
        # Page boxes of one document: no two with the same name.
        names = {}
        for r in self.page_checks():
            node = self.node_at(r)
            if node is not None:
                names.setdefault(node.name, []).append(r)
        for name, rects in names.items():
            if len(rects) > 1:
                problems.append(f"{len(rects)} page boxes share the name {name!r}")
        for p in problems:
            self.fail(step, "accessibility: " + p)

    def node_at(self, rect):
        work, _ = self.areas()
        for r, n in self.controls(work):
            if r == rect:
                return n
        return None

    # -- the screen check

    def grab(self, name, area):
        """The part `area` (x, y, w, h) of the screen."""
        path = os.path.join(self.out, f"{self.shot:02d}-{name}.ppm")
        x, y, w, h = area
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                        "-depth", "8", "ppm:" + path], env=self.env, check=True)
        return Grab(path)

    def windows_area(self):
        """The screen rectangle that holds every window of plyfold, title bars included."""
        boxes = [self.geometry(w) for w in self.visible_windows()]
        margin = 30 * self.scale
        left = max(0, min(b[0] for b in boxes) - margin)
        top = max(0, min(b[1] for b in boxes) - margin)
        right = max(b[0] + b[2] for b in boxes) + margin
        bottom = max(b[1] + b[3] for b in boxes) + margin
        return (left, top, right - left, bottom - top)

    def caret_sized(self, box):
        return box is None or (box[2] <= 3 * self.scale and box[3] <= 30 * self.scale)

    def settle(self, name, area, timeout=20, quiet=2):
        """Grabs until `quiet` grabs in a row, a moment apart, agree with the one before (a
        blinking caret aside): pages still arriving from the renderer would otherwise pass for
        stale content."""
        previous = self.grab(name, area)
        agreeing = 0
        deadline = time.time() + timeout
        while time.time() < deadline:
            time.sleep(0.3)
            current = self.grab(name, area)
            agreeing = agreeing + 1 if self.caret_sized(previous.diff_box(current)) else 0
            previous = current
            if agreeing >= quiet:
                break
        return previous

    def to_png(self, grab, suffix=""):
        png = grab.path[:-4] + suffix + ".png"
        subprocess.run(["convert", grab.path, png], check=True)
        os.remove(grab.path)
        return png

    def check_screen(self, step):
        """The screen after `step` against a full repaint of the main window."""
        self.shot += 1
        self.park()
        area = self.windows_area()
        shown = self.settle(step, area)
        shown_png = self.to_png(shown)
        x, y, w, h = self.geometry(self.window)
        # One pixel of the application's (scaled) coordinates smaller, then back.
        self.x("xdotool", "windowsize", self.window, str(w), str(h - self.scale))
        self.wait_geometry(w, h - self.scale)
        self.x("xdotool", "windowsize", self.window, str(w), str(h))
        self.wait_geometry(w, h)
        repainted = self.settle(step + "-repainted", area)
        box = shown.diff_box(repainted)
        if not self.caret_sized(box):
            repainted_png = self.to_png(repainted)
            self.fail(step, f"the screen differs from a full repaint in {box[2]}x{box[3]} "
                            f"at ({area[0] + box[0]}, {area[1] + box[1]}): compare {shown_png} "
                            f"with {repainted_png}")
        else:
            os.remove(repainted.path)
        print(f"  {step}: {shown_png}", flush=True)

    def wait_geometry(self, w, h):
        deadline = time.time() + 10
        while time.time() < deadline:
            if self.geometry(self.window)[2:] == (w, h):
                return
            time.sleep(0.1)
        raise Failure(f"the main window did not take the size {w}x{h}")

    def fail(self, step, message):
        self.failures.append(f"{step}: {message}")
        print(f"FAIL {step}: {message}", flush=True)

    # -- dialogs

    def file_dialog(self, title_pattern, folder, names):
        """Types a folder, then the file names, into a file dialog."""
        dialog = self.wait_window(title_pattern)
        time.sleep(0.5)
        self.type(folder.rstrip("/") + "/")
        self.key("Return")
        time.sleep(0.6)
        self.type(" ".join(f'"{n}"' for n in names) if len(names) > 1 else names[0])
        # The dialog selects the typed names in its list as they come; on a loaded machine that
        # lags behind the typing, and Return before it has caught up can give the names in
        # another order.
        time.sleep(0.6)
        self.key("Return")
        self.window_gone(dialog)


# ---- The steps ----------------------------------------------------------------------------------


def run_steps(s, data):
    scale = s.scale
    inputs = os.path.join(s.out, "in")
    os.makedirs(inputs, exist_ok=True)
    for name in ("refcard-nf.pdf", "boxes.pdf", "habibi-rotated.pdf", "c-r4.pdf"):
        shutil.copy(os.path.join(data, name), inputs)

    s.check_screen("start")
    s.check_accessibility("start")

    # Add three documents through the file dialog: 3 + 8 + 4 pages.
    s.click(s.centre(s.rect(s.find(pyatspi.ROLE_PUSH_BUTTON, r"^Add File"))))
    s.file_dialog("Open", inputs, ["refcard-nf.pdf", "boxes.pdf", "habibi-rotated.pdf"])
    s.expect_output_pages(15)
    if len(s.headers()) != 3:
        raise Failure(f"{len(s.headers())} documents shown after adding three")
    s.check_screen("add-files")

    # Expand the first document.
    first = s.headers()[0]
    if first["expand"] is None:
        raise Failure("the first document has no expand button")
    s.click(s.centre(first["expand"]))
    deadline = time.time() + 10
    while not s.page_checks() and time.time() < deadline:
        time.sleep(0.2)
    if len(s.page_checks()) != 3:
        raise Failure(f"{len(s.page_checks())} page boxes after expanding a 3-page document")
    s.check_screen("expand")
    s.check_accessibility("expand")

    # Uncheck its second page.
    s.click(s.centre(s.page_checks()[1]))
    s.expect_output_pages(14)
    s.check_screen("uncheck-page")

    # Type a range into the second document's pages field.
    boxes_doc = [h for h in s.headers()][1]
    s.click(s.centre(boxes_doc["edit"]))
    s.key("ctrl+a")
    s.type("2-4")
    s.expect_output_pages(9)
    s.check_screen("type-range")

    # Drag the third document's header in front of the first.
    headers = s.headers()
    src = headers[2]["title"]
    dst = (headers[0]["edit"][0] - 2 * scale, headers[0]["title"][1])
    s.x("xdotool", "mousemove", str(src[0]), str(src[1]))
    time.sleep(0.3)
    s.x("xdotool", "mousedown", "1")
    steps = 12
    for i in range(1, steps + 1):
        px = src[0] + (dst[0] - src[0]) * i // steps
        py = src[1] + (dst[1] - src[1]) * i // steps
        s.x("xdotool", "mousemove", str(px), str(py))
        time.sleep(0.05)
    time.sleep(0.3)
    s.x("xdotool", "mouseup", "1")
    moved = [headers[2]["pages"], headers[0]["pages"], headers[1]["pages"]]
    deadline = time.time() + 10
    while [h["pages"] for h in s.headers()] != moved and time.time() < deadline:
        time.sleep(0.2)
    if [h["pages"] for h in s.headers()] != moved:
        s.fail("drag-header", f"documents read {[h['pages'] for h in s.headers()]}, "
                              f"expected {moved} after the drag")
    s.check_screen("drag-header")

    # Zoom in: a click on the slider's track right of the thumb steps the thumbnail size.
    slider = s.rect(s.find(pyatspi.ROLE_SLIDER, r"."))
    before = s.headers()[0]["edit"]
    s.click((slider[0] + slider[2] - 4 * scale, slider[1] + slider[3] // 2))
    deadline = time.time() + 10
    while s.headers()[0]["edit"] == before and time.time() < deadline:
        time.sleep(0.2)
    if s.headers()[0]["edit"] == before:
        s.fail("zoom", "the documents kept their size after a step of the thumbnail slider")
    s.check_screen("zoom")

    # Output column: expand the first section, remove one of its pages.
    _, output = s.areas()
    out_buttons = sorted((r for r, _ in s.controls(output, BUTTON_ROLES)), key=lambda r: r[1])
    if not out_buttons:
        raise Failure("the output column shows no section")
    s.click(s.centre(out_buttons[0]))
    time.sleep(0.5)
    s.check_screen("output-expand")
    s.check_accessibility("output-expand")
    _, output = s.areas()
    left_edge = out_buttons[0][0] + out_buttons[0][2]
    removers = sorted(
        (r for r, _ in s.controls(output, BUTTON_ROLES) if r[0] > left_edge), key=lambda r: r[1]
    )
    if not removers:
        raise Failure("the expanded section shows no remove buttons")
    pages_before = int(re.search(r"\d+", s.output_title()).group())
    s.click(s.centre(removers[0]))
    s.expect_output_pages(pages_before - 1)
    s.check_screen("output-remove-page")

    # Output column: remove a document through its header's menu (its first item).
    documents_before = len(s.headers())
    _, output = s.areas()
    out_buttons = sorted((r for r, _ in s.controls(output, BUTTON_ROLES)), key=lambda r: r[1])
    header = out_buttons[0]
    s.click((header[0] + header[2] + 40 * scale, header[1] + header[3] // 2), button=3)
    time.sleep(0.6)
    s.key("Down", "Return")
    deadline = time.time() + 10
    while len(s.headers()) != documents_before - 1 and time.time() < deadline:
        time.sleep(0.2)
    if len(s.headers()) != documents_before - 1:
        s.fail("output-remove-document", "the document is still in the work area")
    s.check_screen("output-remove-document")

    # Clear All.
    s.click(s.centre(s.rect(s.find(pyatspi.ROLE_PUSH_BUTTON, r"^Clear All"))))
    s.expect_output_pages(0)
    s.check_screen("clear-all")

    # An encrypted file: the password prompt.
    s.click(s.centre(s.rect(s.find(pyatspi.ROLE_PUSH_BUTTON, r"^Add File"))))
    s.file_dialog("Open", inputs, ["c-r4.pdf", "refcard-nf.pdf"])
    prompt = s.wait_window("c-r4|[Pp]assword")
    time.sleep(0.5)
    s.check_screen("password-prompt")
    s.type("user2")
    s.key("Return")
    s.window_gone(prompt)
    s.expect_output_pages(33)
    s.check_screen("encrypted-added")

    # Save Merged through the save dialog, then the completion dialog.
    merged = os.path.join(s.out, "merged.pdf")
    s.click(s.centre(s.rect(s.find(pyatspi.ROLE_PUSH_BUTTON, r"^Save Merged"))))
    dialog = s.wait_window("Save")
    time.sleep(0.5)
    s.check_screen("save-dialog")
    s.key("ctrl+a")
    s.type(merged)
    s.key("Return")
    s.window_gone(dialog)
    deadline = time.time() + 60
    while not os.path.exists(merged) and time.time() < deadline:
        time.sleep(0.3)
    if not os.path.exists(merged):
        raise Failure("Save Merged wrote no file")
    time.sleep(1.0)
    s.check_screen("saved")
    # The completion dialog: closed with Escape (its buttons would open other programs).
    s.key("Escape")
    time.sleep(0.5)
    pages = subprocess.run(["qpdf", "--show-npages", merged], capture_output=True, text=True)
    if pages.stdout.strip() != "33":
        s.fail("saved", f"the merged file has {pages.stdout.strip() or 'no'} pages, expected 33")

    # About: the last item of the help menu.
    s.click(s.centre(s.rect(s.find(pyatspi.ROLE_PUSH_BUTTON, r"^Help"))))
    time.sleep(0.6)
    before = set(s.visible_windows())
    s.key("Up", "Return")
    time.sleep(1.0)  # the menu's own window closes first
    about = s.wait_new_window(before)
    s.check_screen("about")
    # The about window goes away on a click.
    x, y, w, h = s.geometry(about)
    s.click((x + w // 2, y + h // 2))
    s.window_gone(about)
    s.check_screen("end")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--scale", type=int, default=1)
    args = parser.parse_args()
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    s = Session(args)
    started = time.time()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        s.start()
        run_steps(s, os.path.abspath(args.data))
    except Exception as e:  # a failed step, or an error of the tools driving it
        s.fail("run", str(e) if isinstance(e, Failure) else traceback.format_exc())
        if "DISPLAY" in s.env:
            last = os.path.join(s.out, "at-failure.png")
            subprocess.run(["import", "-window", "root", last], env=s.env, check=False)
            print(f"  the screen at the failure: {last}")
    finally:
        s.stop()
    elapsed = time.time() - started
    if s.failures:
        print(f"real-display checks at scale {args.scale} FAILED in {elapsed:.0f} s:")
        for f in s.failures:
            print("  " + f)
        print(f"screenshots: {os.path.abspath(args.out)}")
        return 1
    print(f"real-display checks at scale {args.scale} passed in {elapsed:.0f} s; "
          f"screenshots: {os.path.abspath(args.out)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
