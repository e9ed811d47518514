"""Box files and group lists: found, missing, misnamed, malformed."""

import unittest

from e2e.installation import group_list_text, variant_markers
from e2e.runner import log_messages
from e2e.support import E2ECase, error, problem, progress

FORUM = ("de.test.forum", "General+Talk", 3, 30)


class Boxes(E2ECase):
    def box(self, inst, name="MYBOX", **options):
        sim = self.simulator()
        self.sim = sim
        box = inst.add_box(name, port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), **options)
        return box

    def lines(self, inst, tag=None):
        return log_messages(self.log_path(inst), tag)

    def test_missing_box_file(self):
        inst = self.installation("xp2")
        result = self.run_quorix(inst, ["NOBOX.BFG"])
        self.assertEqual(result.returncode, 1)
        lines = self.lines(inst)
        self.assertLinesInOrder(lines, [
            error("Error: Configurationfile 'NOBOX.BFG' not found!", "#1"),
            error("Error reading Configuration 'NOBOX.BFG'", "#1"),
            error("Error: Configurationfile 'NOBOX.BFG' not found!", "#2"),
            progress("END")])

    def test_client_style_rewrites_the_name(self):
        inst = self.installation("openxp")
        result = self.run_quorix(inst, ["C:\\XP\\BOXES\\NOBOX.TXT"])
        self.assertEqual(result.returncode, 1)
        self.assertLinesInOrder(self.lines(inst, "#1"), [
            error("Error: Configurationfile 'NOBOX.BFG' not found!", "#1"),
            error("Error reading Configuration 'C:\\XP\\BOXES\\NOBOX.TXT'", "#1")])

    def test_client_style_reads_the_box_from_the_current_directory(self):
        inst = self.installation("freexp")
        self.box(inst).write(group_list_text([";nothing"]))
        result = self.run_quorix(inst, ["C:\\XP\\BOXES\\MYBOX.TXT"])
        self.assertEqual(result.returncode, 0, result.console)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), self.lines(inst))

    def test_box_with_group_list(self):
        inst = self.installation("xp2")
        self.box(inst).write(group_list_text([";nothing"]))
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        self.assertEqual(result.returncode, 0, result.console)
        lines = self.lines(inst)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), lines)
        self.assertEqual(lines[-1], progress("END"))

    def test_xp2_box_name_must_end_in_bfg_in_any_case(self):
        inst = self.installation("xp2")
        box = self.box(inst).write(group_list_text([";nothing"]))
        inst.write("MYBOX.TXT", box.text())
        self.assertEqual(self.run_quorix(inst, ["MYBOX.TXT"]).returncode, 1)
        lines = self.lines(inst, "#1")
        self.assertEqual(lines, [error("Error reading Configuration 'MYBOX.TXT'", "#1")])
        self.assertEqual(self.run_quorix(inst, ["mybox.bfg"]).returncode, 0)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), self.lines(inst, "#1"))

    def test_missing_group_list(self):
        inst = self.installation("xp2")
        box = self.box(inst).write(group_list=None)
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        self.assertEqual(result.returncode, 1)
        self.assertLinesInOrder(self.lines(inst, "#1"), [
            problem("Error Reading Web/GRouplist", "#1"),
            error("Error: Webforum File 'MYBOX.WEB' not found!", "#1")])
        self.assertFalse(box.group_list.exists(), "group list created")

    def test_dial_up_marker(self):
        inst = self.installation("openxp")
        self.box(inst).write(group_list_text([FORUM]))
        (inst.root / "WDial.No").write_bytes(b"")
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.body_lines(self.log_path(inst)), [progress("no active connection!")])
        self.assertEqual(self.sim.requests, [])

    def test_lower_case_installation(self):
        inst = self.installation("openxp", lower_case=True, markers=[],
                                 help_file=variant_markers("openxp", 1000))
        box = self.box(inst).write(group_list_text([";nothing"]))
        self.assertEqual(box.group_list.name, "mybox.web")
        self.assertTrue((inst.root / "mybox.bfg").is_file())
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        self.assertEqual(result.returncode, 0, result.console)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), self.lines(inst))


class BadBoxFiles(E2ECase):
    """Hostile box files: never a crash, the documented outcome, a reason."""

    def setUp(self):
        super().setUp()
        self.sim = self.simulator()

    def run_box(self, variant, text: bytes, entries=(FORUM,)):
        inst = self.installation(variant)
        box = inst.add_box("MYBOX", port=self.sim.port)
        box.write(group_list_text(entries))
        inst.write(box.file_name, text)
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        self.assertIn(result.returncode, (0, 1), result.console)
        lines = log_messages(self.log_path(inst))
        self.assertEqual(lines[-1], progress("END"), "\n".join(lines))
        return result, lines

    def keys(self, **overrides) -> str:
        keys = {"WebServer": "127.0.0.1", "WebPort": str(self.sim.port), "WebClient": "UBBCGI",
                "WebTimeOut": "5", "WebPath": "support/forums/"}
        keys.update(overrides)
        return "".join(f"{k}={v}\r\n" for k, v in keys.items())

    def list_path(self):
        return ("/support/forums/forumdisplay.cgi?action=topics&forum=General+Talk"
                "&number=3&DaysPrune=30&LastLogin=")

    def test_binary_garbage(self):
        garbage = bytes(range(256)) * 40 + b"\x00WebServer\x00=\xff\r\n=\r\n==\n"
        _, lines = self.run_box("xp2", garbage)
        self.assertEqual(self.sim.requests, [])

    def test_port_out_of_range_is_an_error_for_the_slot(self):
        result, lines = self.run_box("xp2", self.keys(WebPort="99999").encode())
        self.assertEqual(result.returncode, 1)
        self.assertTrue([l for l in lines if l[0] in "!?" and "99999" in l], "\n".join(lines))
        self.assertEqual(self.sim.requests, [])

    def test_absurd_numbers_are_survived(self):
        text = self.keys(WebTimeOut="-5", WebDupeSize=str(2 ** 40), WebFloodingControl="-3")
        result, _ = self.run_box("xp2", text.encode())
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.sim.requests[0].path, self.list_path())

    def test_key_on_an_unterminated_last_line(self):
        text = self.keys(WebServer="x.invalid") + "ExWebServer=127.0.0.1"
        self.run_box("xp2", text.encode())
        self.assertEqual(self.sim.requests[0].path, self.list_path())

    def test_keys_beyond_16024_bytes_are_not_seen(self):
        padding = "".join(f";{i:05d}{'x' * 90}\r\n" for i in range(170))
        self.assertGreater(len(padding), 16024)
        text = self.keys(WebServer="")
        _, lines = self.run_box("xp2", (text + padding + "ExWebServer=127.0.0.1\r\n").encode())
        self.assertIn(error("No WebBBS-Server specified", "#1"), lines)
        self.assertEqual(self.sim.requests, [])


if __name__ == "__main__":
    unittest.main()
