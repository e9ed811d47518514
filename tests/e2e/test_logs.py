"""Where the logs go and what their headers and lines look like."""

import shutil
import time
import unittest

from e2e.runner import header_date, log_messages, read_log
from e2e.support import E2ECase, progress

HEADER = "----------  {}, Korvendale/News v0.23g"


class Logs(E2ECase):
    def quiet_box(self, inst, name="MYBOX"):
        """A box whose group list names no forum: it reads its configuration,
        scans nothing and posts nothing."""
        sim = self.simulator()
        box = inst.add_box(name, port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"))
        return box.write("; no forums yet\r\n")

    def run_ok(self, inst, args, **options):
        before = time.time()
        result = self.run_quorix(inst, args, **options)
        self.assertEqual(result.returncode, 0, result.console)
        return before, time.time()

    def assertHeader(self, line, times, omralog=""):
        wanted = {HEADER.format(header_date(t, omralog)) for t in times}
        self.assertIn(line.raw, wanted)

    def test_default_log_directory_and_named_date(self):
        inst = self.installation("openxp")
        times = self.run_ok(inst, ["/NOPOST"])
        lines = read_log(inst.root / "LOG" / "QUORIX.LOG")
        self.assertHeader(lines[0], times)
        self.assertEqual([l.untimed for l in lines[1:]],
                         [progress("No Cps-Info available"), progress("END")])

    def test_logdir_setting_and_dotted_date(self):
        inst = self.installation("freexp", settings={"LOGDIR": "LOGS\\", "SCREENLINES": "25"})
        times = self.run_ok(inst, ["/NOPOST"], env={"OMRALOG": "xp"})
        self.assertFalse((inst.root / "LOG" / "QUORIX.LOG").exists())
        self.assertHeader(read_log(inst.root / "LOGS" / "QUORIX.LOG")[0], times, "XP")

    def test_missing_log_directory_runs_without_log(self):
        inst = self.installation("openxp", settings={"LOGDIR": "NOWHERE\\"})
        shutil.rmtree(inst.root / "NOWHERE")
        self.run_ok(inst, ["/NOPOST"])
        self.assertFalse((inst.root / "NOWHERE").exists())

    def test_runs_append(self):
        inst = self.installation("openxp")
        self.run_ok(inst, ["/NOPOST"])
        self.run_ok(inst, ["/NOPOST"])
        lines = read_log(self.log_path(inst))
        self.assertEqual(len(lines), 6)
        self.assertTrue(lines[3].raw.startswith("----------  "))

    def test_debug_mode_header_in_main_log_only(self):
        inst = self.installation("xp2")
        (inst.root / "QUORIX.DEB").write_bytes(b"")
        self.quiet_box(inst)
        self.run_ok(inst, ["MYBOX.BFG"])
        main = read_log(self.log_path(inst))
        client = read_log(inst.root / "LOG" / "XP-PPP.LOG")
        self.assertEqual(main[1].untimed, "    : Debug-Mode activated")
        self.assertEqual(main[1].raw[:2] + main[1].raw[10:], "    QUORIX   : Debug-Mode activated")
        self.assertNotIn("Debug-Mode activated", [l.message for l in client])
        self.assertIn("  #1: Reading CrossPoints RFC/PPP Configuration",
                      log_messages(self.log_path(inst)))

    def test_detail_lines_only_in_debug_mode(self):
        inst = self.installation("openxp")
        self.quiet_box(inst)
        self.run_ok(inst, ["MYBOX.BFG"])
        self.assertNotLogged(self.log_path(inst), "  #1: Reading OpenXP RFC/Client Configuration")
        (inst.root / "QUORIX.DEB").write_bytes(b"")
        self.run_ok(inst, ["MYBOX.BFG"])
        self.assertLogged(self.log_path(inst), "  #1: Reading OpenXP RFC/Client Configuration")

    def test_xp2_client_log_repeats_every_line(self):
        inst = self.installation("xp2")
        self.quiet_box(inst)
        self.run_ok(inst, ["MYBOX.BFG"])
        main = [l.raw for l in read_log(self.log_path(inst))[1:]]
        client = [l.raw for l in read_log(inst.root / "LOG" / "XP-PPP.LOG")[1:]]
        self.assertEqual(client, main)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), log_messages(self.log_path(inst)))
        self.assertEqual(main[-1][10:], "  QUORIX   : END")

    def test_openxp_client_log_in_client_path(self):
        inst = self.installation("openxp")
        box = self.quiet_box(inst)
        times = self.run_ok(inst, ["MYBOX.BFG"])
        client_log = box.client_dir / "XPCLIENT.LOG"
        self.assertEqual(box.client_dir, inst.root / "CLIENT" / "MYBOX")
        client = read_log(client_log)
        self.assertHeader(client[0], times)
        main = [l.raw for l in read_log(self.log_path(inst))[1:]]
        tail = [l.raw for l in client[1:]]
        self.assertEqual(main[len(main) - len(tail):], tail)
        self.assertIn(progress("Reading Web/Grouplist", "#1"), [l.untimed for l in client])

    def test_second_box_shares_the_first_client_log(self):
        inst = self.installation("openxp")
        first, second = self.quiet_box(inst, "BOXA"), self.quiet_box(inst, "BOXB")
        self.run_ok(inst, ["BOXA.BFG", "BOXB.BFG"])
        opened = [(b.client_dir / "XPCLIENT.LOG").exists() for b in (first, second)]
        self.assertEqual(sorted(opened), [False, True])

    def test_every_line_has_the_log_layout(self):
        inst = self.installation("openxp")
        (inst.root / "QUORIX.DEB").write_bytes(b"")
        self.quiet_box(inst)
        self.run_ok(inst, ["MYBOX.BFG"])
        for line in read_log(self.log_path(inst))[1:]:
            self.assertIsNotNone(line.mark, line.raw)
            self.assertIn(line.tag, ("  ", "#", "#0", "#1", "#2"), line.raw)


if __name__ == "__main__":
    unittest.main()
