"""The program as a user meets it: started on a virtual desktop and driven from outside.

Run one case:  /usr/bin/python3 test_desktop.py ProgramOnDesktopTest.test_second_start_ends_silently
Needs FOTOSHUTTLE_PROGRAM (the built program) and, for the installation, FOTOSHUTTLE_BUILD_DIR.
"""

import os
import shlex
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop, ProgramFolder, missing_tools, wait_for  # noqa: E402

PROGRAM = os.environ.get("FOTOSHUTTLE_PROGRAM", "")
BUILD_DIR = os.environ.get("FOTOSHUTTLE_BUILD_DIR", "")
PICTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")

WATCHING_STARTED = "フォルダ監視開始"
TRAY_ITEMS = ["ダイアログを開く", "エラーログ表示", "終了"]
EXIT_QUESTION = "終了します。よいですか？"

# One small picture of each input format.
DROPPED_PICTURES = sorted(os.listdir(PICTURES))


class DesktopCase(unittest.TestCase):
    def setUp(self):
        missing = missing_tools()
        self.assertFalse(missing, f"missing {missing}: run scripts/install-deps")
        self.assertTrue(os.access(PROGRAM, os.X_OK), "FOTOSHUTTLE_PROGRAM is not set")
        self.desk = Desktop()
        self.desk.__enter__()
        self.addCleanup(self.leave_desktop)
        self.folder = ProgramFolder(self.desk.root)
        self.folder.install(PROGRAM)
        self.folder.write_ini()

    def leave_desktop(self):
        socket = self.desk.x_socket()
        self.desk.close()
        self.assertFalse(os.path.exists(socket))
        self.assertEqual(self.desk.leftover_processes(), [])
        self.assertFalse(os.path.exists(self.desk.root))

    def start_watching(self):
        program = self.desk.start(self.folder)
        title, texts, buttons = self.desk.close_box(program, WATCHING_STARTED)
        self.assertEqual((title, buttons), ("fotoshuttle", ["OK"]))
        return program

    def assert_exited_cleanly(self, program, status):
        self.assertEqual(status, 0)
        self.assertFalse(os.path.exists(os.path.join(self.folder.src, "FORSTOP")))
        wait_for(self.desk.tray_is_empty, "the icon to leave the tray")
        self.assertEqual(self.desk.visible_windows("Fotoshuttle"), [])


class ProgramOnDesktopTest(DesktopCase):
    def test_watching_converts_dropped_pictures(self):
        program = self.start_watching()
        self.desk.wait_for_icon(program)
        self.assertEqual(self.desk.tool_tip(program), "Fotoshuttle")

        self.assertEqual({os.path.splitext(name)[1] for name in DROPPED_PICTURES},
                         {".bmp", ".gif", ".jpg", ".png", ".tif"})
        for name in DROPPED_PICTURES:
            shutil.copyfile(os.path.join(PICTURES, name), os.path.join(self.folder.src, name))
        outputs = {os.path.splitext(name)[0] + ".jpg" for name in DROPPED_PICTURES}
        wait_for(lambda: set(os.listdir(self.folder.dst)) == outputs
                 and not os.listdir(self.folder.src), "the converted pictures", timeout=90)
        for name in outputs:
            with open(os.path.join(self.folder.dst, name), "rb") as picture:
                data = picture.read()
            self.assertTrue(data.startswith(b"\xff\xd8\xff") and data.endswith(b"\xff\xd9"),
                            name)
        self.assertEqual(os.path.getsize(self.folder.log), 0)

        self.assert_exited_cleanly(program, self.desk.exit_program(program))
        self.assertEqual(program.messages()[:2], [WATCHING_STARTED, EXIT_QUESTION])

    def test_tray_menu_opens_dialog_and_exit_can_be_declined(self):
        program = self.start_watching()
        # Only the right button opens the menu: a left click and a double click do nothing.
        self.desk.wait_for_icon(program)
        windows = self.desk.program_windows(program)
        self.desk.click_icon(program, 1)
        self.desk.click_icon(program, 1, repeat=2)
        time.sleep(1.0)
        self.assertEqual(self.desk.program_windows(program), windows)

        items, _ = self.desk.open_tray_menu(program)
        self.assertEqual(items, TRAY_ITEMS)
        self.desk.run(["xdotool", "key", "Escape"])
        self.assertEqual(self.desk.visible_windows("Fotoshuttle"), [])

        self.desk.choose_tray_item(program, "ダイアログを開く")
        dialog = wait_for(lambda: self.desk.visible_windows("Fotoshuttle"), "the dialog")
        self.assertEqual(len(dialog), 1)

        self.desk.choose_tray_item(program, "終了")
        self.desk.answer(program, EXIT_QUESTION, yes=False)
        self.assertTrue(program.running())
        self.assertEqual(self.desk.visible_windows("Fotoshuttle"), dialog)
        self.assertFalse(os.path.exists(os.path.join(self.folder.src, "FORSTOP")))

        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_stop_watching_and_convert_by_hand(self):
        program = self.start_watching()
        self.desk.choose_tray_item(program, "ダイアログを開く")
        wait_for(lambda: self.desk.visible_windows("Fotoshuttle"), "the dialog")
        self.desk.press_button(program, "監視中止")
        self.desk.close_box(program, "フォルダ監視終了")

        picture = os.path.join(self.folder.src, "photo.jpg")
        shutil.copyfile(os.path.join(PICTURES, "photo.jpg"), picture)
        time.sleep(3.0)  # three times the delay: watching would have converted it by now
        self.assertTrue(os.path.exists(picture))
        self.assertEqual(os.listdir(self.folder.dst), [])

        self.desk.press_button(program, "手動で変換")
        wait_for(lambda: os.listdir(self.folder.dst) == ["photo.jpg"]
                 and not os.path.exists(picture), "the conversion by hand")
        self.desk.press_button(program, "手動で変換")
        self.desk.close_box(program, "処理対象の画像はありません")

        self.desk.press_button(program, "監視開始")
        self.desk.close_box(program, WATCHING_STARTED)
        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_error_log_opens_in_the_text_editor(self):
        # The session's text editor is whatever the desktop associates with text files; here
        # a program that keeps a copy of what it was asked to open.
        applications = os.path.join(self.desk.root, "data", "applications")
        os.makedirs(applications)
        opened = os.path.join(self.desk.root, "opened.txt")
        with open(os.path.join(applications, "editor.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Editor\n"
                        f"Exec=cp %f {opened}\nMimeType=text/plain;\n")
        with open(os.path.join(applications, "mimeapps.list"), "w") as associations:
            associations.write("[Default Applications]\ntext/plain=editor.desktop\n")
        with open(self.folder.log, "w") as log:
            log.write("/somewhere/a.jpgは変換できませんでした。\r\n")

        program = self.desk.start(self.folder, XDG_DATA_HOME=os.path.dirname(applications),
                                  XDG_CONFIG_HOME=os.path.join(self.desk.root, "config"))
        self.desk.close_box(program, WATCHING_STARTED)
        self.desk.choose_tray_item(program, "エラーログ表示")
        wait_for(lambda: os.path.exists(opened) and os.path.getsize(opened) > 0, "the editor")
        with open(opened, encoding="utf-8") as copy, open(self.folder.log, encoding="utf-8") as log:
            self.assertEqual(copy.read(), log.read())
        self.assertEqual(self.desk.boxes(program), [])
        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_error_log_without_an_opener_says_so(self):
        program = self.desk.start(self.folder, PATH=os.path.join(self.desk.root, "empty"))
        self.desk.close_box(program, WATCHING_STARTED)
        self.desk.choose_tray_item(program, "エラーログ表示")
        self.desk.close_box(program, "表示できません。")
        self.assertTrue(program.running())
        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_second_start_ends_silently(self):
        first = self.start_watching()
        icon = self.desk.wait_for_icon(first)
        second = self.desk.start(self.folder)
        self.assertEqual(second.wait_exit(), 0)
        with open(second.stderr_path, encoding="utf-8") as err:
            self.assertEqual(err.read(), "")
        self.assertTrue(first.running())
        self.assertEqual(self.desk.tray_icon(first), icon)
        self.assertEqual(self.desk.boxes(first), [])
        self.assertEqual(self.desk.visible_windows("Fotoshuttle"), [])
        self.assert_exited_cleanly(first, self.desk.exit_program(first))

    def test_icon_returns_after_tray_host_restart(self):
        program = self.start_watching()
        self.desk.wait_for_icon(program)
        self.desk.stop_tray_host()
        self.desk.start_tray_host()
        self.desk.wait_for_icon(program)
        self.assertEqual(self.desk.open_tray_menu(program)[0], TRAY_ITEMS)
        self.desk.run(["xdotool", "key", "Escape"])
        self.assertEqual(self.desk.tool_tip(program), "Fotoshuttle")
        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_icon_docks_when_the_tray_host_comes_later(self):
        # At logon the program may start before the panel.
        self.desk.stop_tray_host()
        program = self.start_watching()
        time.sleep(1.5)
        self.assertIsNone(self.desk.tray_icon(program))
        self.desk.start_tray_host()
        self.desk.wait_for_icon(program)
        self.assertEqual(self.desk.tool_tip(program), "Fotoshuttle")
        self.assert_exited_cleanly(program, self.desk.exit_program(program))

    def test_start_up_refusals(self):
        duration = "durationの設定が正しくありません。起動できません。"
        cases = [
            ("no INI file", lambda f: os.remove(f.ini), duration),
            ("empty duration", lambda f: f.write_ini(duration=""), duration),
            ("missing input folder", lambda f: os.rmdir(f.src),
             "入力folderの設定が正しくありません。起動できません。"),
            ("missing output folder", lambda f: os.rmdir(f.dst),
             "出力folderの設定が正しくありません。起動できません。"),
            ("missing log", lambda f: os.remove(f.log),
             "Fotoshuttle_log.txtがありません。起動できません。"),
        ]
        for name, spoil, text in cases:
            with self.subTest(name):
                folder = ProgramFolder(os.path.join(self.desk.root, name.replace(" ", "-")))
                folder.install(PROGRAM)
                folder.write_ini()
                spoil(folder)
                program = self.desk.start(folder)
                title, texts, buttons = self.desk.wait_for_box(program, text)
                self.assertEqual((title, texts, buttons), ("fotoshuttle", [text], ["OK"]))
                # The icon is already there when a setting is refused.
                self.assertIsNotNone(self.desk.tray_icon(program))
                self.desk.press_in_box(program, "OK", text)
                self.assertEqual(program.wait_exit(), 0)
                self.assertEqual(program.messages(), [text])
                self.assertEqual(os.listdir(folder.dst) if os.path.isdir(folder.dst) else [], [])


def read_desktop_entry(path):
    with open(path, encoding="utf-8") as entry:
        lines = [line.rstrip("\n") for line in entry]
    return dict(line.split("=", 1) for line in lines[1:] if "=" in line)


class InstalledProgramTest(DesktopCase):
    def install(self, prefix, home, *args):
        env = {k: v for k, v in os.environ.items() if k not in ("DESTDIR", "XDG_CONFIG_HOME")}
        env["HOME"] = home
        subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", prefix, *args], env=env,
                       check=True, capture_output=True)

    def test_autostart_entry_starts_the_installed_program(self):
        prefix = os.path.join(self.desk.root, "prefix")
        home = os.path.join(self.desk.root, "home")
        self.install(prefix, home)
        self.assertFalse(os.path.exists(os.path.join(home, ".config")))
        self.install(prefix, home, "--component", "autostart")

        entry = read_desktop_entry(os.path.join(home, ".config/autostart/fotoshuttle.desktop"))
        menu = read_desktop_entry(os.path.join(prefix, "share/applications/fotoshuttle.desktop"))
        app_dir = entry["Path"]
        self.assertEqual(app_dir, os.path.join(prefix, "opt/fotoshuttle"))
        self.assertEqual((menu["Path"], menu["Exec"], menu["Icon"]),
                         (app_dir, entry["Exec"], "fotoshuttle"))
        for size in (32, 64, 256):
            self.assertTrue(os.path.isfile(os.path.join(
                prefix, f"share/icons/hicolor/{size}x{size}/apps/fotoshuttle.png")))
        log = os.path.join(app_dir, "Fotoshuttle_log.txt")
        self.assertEqual(os.path.getsize(log), 0)

        # Started as the session starts it: the entry's command in the entry's folder.
        installed = ProgramFolder(self.desk.root, bin_dir=app_dir, work=app_dir,
                                  src=os.path.join(app_dir, "in"),
                                  dst=os.path.join(app_dir, "out"))
        program = self.desk.start(installed, exe=shlex.split(entry["Exec"])[0], cwd=app_dir)
        self.desk.close_box(program, WATCHING_STARTED)
        self.desk.wait_for_icon(program)
        shutil.copyfile(os.path.join(PICTURES, "chart.png"), os.path.join(installed.src, "chart.png"))
        wait_for(lambda: os.listdir(installed.dst) == ["chart.jpg"]
                 and not os.listdir(installed.src), "the converted picture", timeout=90)
        self.assertEqual(self.desk.exit_program(program), 0)

        # Installing again keeps what the user has made of the settings and the log.
        with open(log, "a") as changed:
            changed.write("kept\r\n")
        with open(installed.ini, "a") as changed:
            changed.write("; mine\n")
        with open(installed.ini) as ini:
            settings = ini.read()
        self.install(prefix, home)
        with open(log) as kept:
            self.assertEqual(kept.read(), "kept\n")
        with open(installed.ini) as ini:
            self.assertEqual(ini.read(), settings)


if __name__ == "__main__":
    unittest.main(verbosity=2)
