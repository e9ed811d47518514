"""Which CrossPoint installations the program serves and which it refuses.

A run with only the option "/NOPOST" ends right after the detection: a
supported installation gets its log ("No Cps-Info available", "END"), an
unsupported one gets no log at all. A run with a box name shows the refusal
message (waits ten seconds and ends with exit code 1), so those runs go in
parallel.
"""

import unittest

from e2e.installation import create_installation, variant_markers
from e2e.runner import read_log, run_parallel
from e2e.support import MAIN, NOT_SUPPORTED, E2ECase, progress

CLOSING = [progress("No Cps-Info available"), progress("END")]


class Detection(E2ECase):
    def detect(self, variant, **options):
        """Run "/NOPOST" in a fresh installation; the installation."""
        inst = self.installation(variant, **options)
        result = self.run_quorix(inst, ["/NOPOST"], timeout=60)
        self.assertEqual(result.returncode, 0, result.console)
        return inst

    def assertServed(self, inst):
        log = self.log_path(inst)
        self.assertTrue(log.is_file(), "no QUORIX.LOG: installation refused")
        self.assertEqual(self.body_lines(log), CLOSING)

    def assertRefused(self, inst):
        self.assertFalse(self.log_path(inst).exists(), "installation served")

    def client_log(self, inst):
        return self.log_path(inst).with_name("XP-PPP.LOG")

    def test_openxp_freexp_and_xp2_are_served(self):
        for variant in ("openxp", "freexp", "xp2"):
            with self.subTest(variant):
                inst = self.detect(variant, name=variant)
                self.assertServed(inst)
                self.assertEqual(self.client_log(inst).exists(), variant == "xp2")

    def test_xp2_version_mark_at_35_or_36_only(self):
        for position, served in ((34, False), (35, True), (36, True), (37, False), (None, False)):
            with self.subTest(position=position):
                inst = self.detect("xp2", name=f"xp2-{position}", xp2_mark_at=position)
                if served:
                    self.assertServed(inst)
                else:
                    self.assertRefused(inst)
                    # The client log was opened before the check and gets the closing lines.
                    self.assertEqual([l.untimed for l in read_log(self.client_log(inst))[1:]],
                                     CLOSING)

    def test_missing_files_are_refused(self):
        cases = {
            "no-boxen": {"boxen_db": False},
            "no-markers": {"markers": []},
            "only-openxp": {"markers": [(100, "OpenXP")]},
            "xp2-without-host": {"markers": [(100, "XP2")]},
        }
        for name, options in cases.items():
            with self.subTest(name):
                variant = "xp2" if name.startswith("xp2") else "openxp"
                self.assertRefused(self.detect(variant, name=name, **options))

    def test_missing_xpoint_cfg_or_program_file(self):
        for name in ("XPOINT.CFG", "XP.EXE"):
            with self.subTest(name):
                inst = self.installation("openxp", name=name.replace(".", "-"))
                (inst.root / name).unlink()
                self.run_quorix(inst, ["/NOPOST"], timeout=60)
                self.assertRefused(inst)

    def test_lower_case_xp2_marker_does_not_count(self):
        inst = self.detect("xp2", markers=[(100, "xp2"), (200, "www.xp2.de")])
        self.assertRefused(inst)

    def test_markers_split_across_chunk_boundaries(self):
        # Chunks of 32,000 bytes overlap by 32: [0, 32000), [31968, 63968), ...
        openxp = self.detect("openxp", name="openxp", markers=[(31985, "http://www.openxp.de/")])
        self.assertServed(openxp)
        xp2 = self.detect("xp2", name="xp2", markers=[(31998, "XP2"), (63962, "www.xp2.de")])
        self.assertServed(xp2)

    def test_help_file_is_scanned_instead_of_the_program(self):
        served = self.detect("openxp", name="help-marked", markers=[],
                             help_file=variant_markers("openxp", 1000))
        self.assertServed(served)
        refused = self.detect("openxp", name="help-unmarked", help_file=[])
        self.assertRefused(refused)

    def test_lower_case_installation(self):
        inst = self.detect("openxp", lower_case=True, help_file=variant_markers("openxp", 1000))
        self.assertTrue((inst.root / "xpoint.cfg").is_file())
        self.assertServed(inst)

    def test_program_directory_from_argv0(self):
        for argv0 in ("quorix", None):
            with self.subTest(argv0=argv0 or "absolute"):
                inst = self.installation("openxp", name=f"argv0-{argv0}")
                result = self.run_quorix(inst, ["/NOPOST"], argv0=argv0 or str(inst.root / "quorix"))
                self.assertEqual(result.returncode, 0)
                self.assertServed(inst)


class Refusal(E2ECase):
    """Full runs with a box name: the refusal message on the console."""

    @classmethod
    def setUpClass(cls):
        import tempfile
        from pathlib import Path
        cls._tmp = tempfile.TemporaryDirectory(prefix="quorix-e2e-refusal-")
        root = Path(cls._tmp.name)
        cases = {"no-boxen": ("openxp", {"boxen_db": False}),
                 "no-markers": ("freexp", {"markers": []}),
                 "xp2-at-37": ("xp2", {"xp2_mark_at": 37})}
        cls.installations = {}
        for name, (variant, options) in cases.items():
            (root / name).mkdir()
            cls.installations[name] = create_installation(root / name, variant, **options)
        cls.results = run_parallel({name: (inst, ["MYBOX.BFG"], {"timeout": 90})
                                    for name, inst in cls.installations.items()})

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def result(self, name):
        result = self.results[name]
        if isinstance(result, BaseException):
            raise result
        return result

    def test_message_after_an_empty_line_and_exit_code_1(self):
        for name in self.installations:
            with self.subTest(name):
                result = self.result(name)
                self.assertEqual(result.returncode, 1)
                self.assertIn(f"\n\n{NOT_SUPPORTED}\n", result.console)

    def test_no_log_is_opened(self):
        for name, inst in self.installations.items():
            with self.subTest(name):
                self.assertFalse(self.log_path(inst).exists())

    def test_xp2_client_log_gets_the_closing_lines(self):
        log = self.log_path(self.installations["xp2-at-37"]).with_name("XP-PPP.LOG")
        lines = read_log(log)
        self.assertRegex(lines[0].raw, r"^-{10}  .+, Korvendale/News v0\.23g$")
        self.assertEqual([l.untimed for l in lines[1:]], CLOSING)
        self.assertEqual({l.tag for l in lines[1:]}, {MAIN})


if __name__ == "__main__":
    unittest.main()
