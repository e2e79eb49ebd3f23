"""Soak of the real program on a virtual desktop: pictures arrive in bursts while it watches,
mixed with damaged files and files still being written. Afterwards every good picture is in the
output folder exactly once, every damaged one is logged and kept, no source is lost, and the
program's resident memory and open files do not grow from burst to burst.

FOTOSHUTTLE_SOAK_PICTURES (default 1000) and FOTOSHUTTLE_SOAK_BURST (default 50) set its
length; a few hundred thousand pictures make a soak of hours. Needs FOTOSHUTTLE_PROGRAM.
"""

import os
import shutil
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(HERE, "..", "e2e")
sys.path.insert(0, E2E)
from desktop import Desktop, ProgramFolder, missing_tools, wait_for  # noqa: E402

PROGRAM = os.environ.get("FOTOSHUTTLE_PROGRAM", "")
PICTURES = os.path.join(E2E, "pictures")
WATCHING_STARTED = "フォルダ監視開始"
NOT_CONVERTED = "は変換できませんでした。"
UNDER_SANITIZER = bool(os.environ.get("FOTOSHUTTLE_UNDER_SANITIZER"))


def number(name, default):
    try:
        value = int(os.environ.get(name, ""))
        return value if value > 0 else default
    except ValueError:
        return default


def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def not_converted_line(folder, name):
    output = os.path.splitext(name)[0] + ".jpg"
    return os.path.join(folder.dst, output) + NOT_CONVERTED + "\r\n"


def write_slowly(path, data, pieces=12, pause=0.1):
    with open(path, "wb") as out:
        step = max(1, len(data) // pieces)
        for at in range(0, len(data), step):
            out.write(data[at:at + step])
            out.flush()
            time.sleep(pause)


class SoakOnDesktopTest(unittest.TestCase):
    def test_bursts_lose_nothing_and_grow_nothing(self):
        missing = missing_tools()
        self.assertFalse(missing, f"missing {missing}: run scripts/install-deps")
        self.assertTrue(os.access(PROGRAM, os.X_OK), "FOTOSHUTTLE_PROGRAM is not set")
        total = number("FOTOSHUTTLE_SOAK_PICTURES", 1000)
        burst = number("FOTOSHUTTLE_SOAK_BURST", 50)
        samples = {}
        for name in sorted(os.listdir(PICTURES)):
            with open(os.path.join(PICTURES, name), "rb") as picture:
                samples[os.path.splitext(name)[1]] = picture.read()
        kinds = sorted(samples)

        with Desktop() as desk:
            folder = ProgramFolder(desk.root)
            folder.install(PROGRAM)
            folder.write_ini()
            program = desk.start(folder)
            desk.close_box(program, WATCHING_STARTED)

            good, damaged, figures = set(), set(), []
            sent, round_ = 0, 0
            started = time.monotonic()
            while sent < total:
                count = min(burst, total - sent)
                expected_now, damaged_now = set(), set()
                for i in range(count):
                    kind = kinds[sent % len(kinds)]
                    stem = f"p{round_}_{i}"
                    path = os.path.join(folder.src, stem + kind)
                    with open(path, "wb") as out:
                        if sent % 20 == 7:
                            # Damaged: the start of a real picture, then rubbish.
                            out.write(samples[kind][:40] + b"Z" * 300)
                            damaged.add(stem + kind)
                            damaged_now.add(stem + kind)
                        else:
                            out.write(samples[kind])
                            good.add(stem + ".jpg")
                            expected_now.add(stem + ".jpg")
                    sent += 1
                slow = f"slow{round_}.png"
                writer = threading.Thread(
                    target=write_slowly, args=(os.path.join(folder.src, slow), samples[".png"]))
                writer.start()
                good.add(f"slow{round_}.jpg")
                expected_now.add(f"slow{round_}.jpg")

                def settled():
                    # Outputs in place, only the damaged files left, and those of this burst
                    # logged (a batch may still be waiting on one that looks cut short).
                    outputs = set(os.listdir(folder.dst))
                    if not expected_now <= outputs or set(os.listdir(folder.src)) != damaged:
                        return False
                    with open(folder.log, "rb") as log:
                        lines = log.read().decode("utf-8")
                    return all(not_converted_line(folder, name) in lines for name in damaged_now)
                wait_for(settled, f"burst {round_}", timeout=600 if UNDER_SANITIZER else 180)
                writer.join()
                self.assertTrue(program.running(), "the program ended")
                figures.append((status_kib(program.pid, "VmRSS"),
                                len(os.listdir(f"/proc/{program.pid}/fd"))))
                round_ += 1

            self.assertEqual(set(os.listdir(folder.dst)), good)
            for name in good:
                with open(os.path.join(folder.dst, name), "rb") as picture:
                    data = picture.read()
                self.assertTrue(data.startswith(b"\xff\xd8\xff") and data.endswith(b"\xff\xd9"),
                                name)
            with open(folder.log, "rb") as log:
                lines = log.read().decode("utf-8")
            for name in damaged:
                self.assertTrue(os.path.exists(os.path.join(folder.src, name)), name)
                self.assertIn(not_converted_line(folder, name), lines)
            elapsed = time.monotonic() - started
            warm = figures[min(2, len(figures) - 1)]
            last = figures[-1]
            print(f"[ soak     ] real program: {sent + round_} files ({len(good)} good pictures, "
                  f"{len(damaged)} damaged) in {round_} bursts, {elapsed:.0f} s; resident "
                  f"{warm[0] // 1024} MiB after burst 3, {last[0] // 1024} MiB at the end "
                  f"(peak {status_kib(program.pid, 'VmHWM') // 1024} MiB); open files "
                  f"{warm[1]} -> {last[1]}", flush=True)
            if len(figures) >= 8:
                # A batch may still hold a file open when a burst is sampled, so growth is the
                # least of the last quarter against the most of the first bursts.
                early, late = figures[:4], figures[-max(2, len(figures) // 4):]
                self.assertLessEqual(min(f[1] for f in late), max(f[1] for f in early),
                                     "open files grew")
                if not UNDER_SANITIZER:
                    self.assertLess(min(f[0] for f in late) - max(f[0] for f in early),
                                    16 * 1024, "resident memory grew")
            for name in damaged:
                os.unlink(os.path.join(folder.src, name))
            self.assertEqual(desk.exit_program(program), 0)
        self.assertEqual(desk.leftover_processes(), [])


if __name__ == "__main__":
    unittest.main()
