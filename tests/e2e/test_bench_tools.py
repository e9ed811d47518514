"""The benchmark's helpers that its figures rest on: nginx serving the
simulator's pages as static files (every request path, query and all, to its
own file, with the simulator's charset, each request logged), and the fetch
thread's life read from a trace of a run."""

import shutil
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from harvest_bench import fetch_thread_seconds  # noqa: E402
from nginx_front import NGINX, NginxFront, write_static_pages  # noqa: E402

# Request paths as the harvest sends them: queries with ";", "=", "&", "+",
# and a page under a folder of its own.
PAGES = {
    "/cgi-bin/forumdisplay.cgi?action=topics&forum=General+Talk&number=3&DaysPrune=30":
        b"<html>list \xe4</html>",
    "/cgi-bin/ultimatebb.cgi?ubb=get_topic;f=3;t=000001": b"<html>topic 1</html>",
    "/cgi-bin/ultimatebb.cgi?ubb=get_topic;f=3;t=000002": b"<html>topic 2</html>",
    "/forum/showflat.php?Cat=&Board=php&Number=7&page=0": b"<html>flat</html>",
}


@unittest.skipUnless(shutil.which("nginx") or Path(NGINX).is_file(), "nginx not installed")
class StaticNginxTest(unittest.TestCase):
    def setUp(self):
        self.pages = Path(tempfile.mkdtemp(prefix="quorix-static-test-"))
        self.addCleanup(shutil.rmtree, self.pages, True)
        write_static_pages(PAGES, self.pages)
        self.front = NginxFront(pages=self.pages, charset="iso-8859-1").start()
        self.addCleanup(self.front.stop)

    def get(self, path):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.front.port}{path}",
                                    timeout=30) as answer:
            return answer.status, answer.headers["Content-Type"], answer.read()

    def test_every_path_gets_its_own_page_with_the_charset(self):
        for path, body in PAGES.items():
            with self.subTest(path=path):
                self.assertEqual(self.get(path), (200, "text/html; charset=iso-8859-1", body))

    def test_a_path_without_a_page_is_not_found(self):
        with self.assertRaises(urllib.error.HTTPError) as caught:
            self.get("/cgi-bin/ultimatebb.cgi?ubb=get_topic;f=3;t=000003")
        caught.exception.close()
        self.assertEqual(caught.exception.code, 404)

    def logged_paths(self, count):
        """The log once it holds `count` lines: nginx writes a request's line
        just after its answer."""
        deadline = time.monotonic() + 10
        while len(self.front.paths()) < count and time.monotonic() < deadline:
            time.sleep(0.01)
        return self.front.paths()

    def test_the_paths_served_are_logged_in_order_until_cleared(self):
        paths = list(PAGES)
        for path in paths[:2]:
            self.get(path)
        self.assertEqual(self.logged_paths(2), paths[:2])
        self.front.clear_paths()
        self.get(paths[3])
        self.assertEqual(self.logged_paths(1), [paths[3]])


# A trace of a run with one box (strace -f -ttt, thread starts and ends
# only): 100 is the main thread, 101 the display, 102 the fetch thread
# (whose start is reported in two parts), 103 and 104 its connections, 105
# the posting thread.
TRACE = """\
100 10.000000 execve("./quorix", ["./quorix", "BENCH.BFG"], 0x7ffc /* 9 vars */) = 0
100 10.010000 clone3({flags=CLONE_VM|CLONE_THREAD, child_tid=0x7f}, 88) = 101
100 10.020000 clone3({flags=CLONE_VM|CLONE_THREAD, child_tid=0x7e} <unfinished ...>
101 10.020500 exit(0 <unfinished ...>
100 10.021000 <... clone3 resumed> => {parent_tid=[102]}, 88) = 102
102 10.030000 clone3({flags=CLONE_VM|CLONE_THREAD}, 88) = 103
102 10.031000 clone3({flags=CLONE_VM|CLONE_THREAD}, 88) = 104
103 10.200000 +++ exited with 0 +++
104 10.210000 +++ exited with 0 +++
102 10.250000 exit(0)                 = ?
102 10.250500 +++ exited with 0 +++
100 10.300000 clone3({flags=CLONE_VM|CLONE_THREAD}, 88) = 105
105 11.800000 +++ exited with 0 +++
101 11.900000 +++ exited with 0 +++
100 11.950000 +++ exited with 0 +++
"""


class FetchThreadTest(unittest.TestCase):
    def test_the_second_thread_of_the_main_thread_from_its_start_to_its_end(self):
        self.assertAlmostEqual(fetch_thread_seconds(TRACE), 10.2505 - 10.021, places=6)

    def test_a_trace_without_a_fetch_thread_is_refused(self):
        lines = [line for line in TRACE.splitlines() if not line.startswith("102 ")]
        without_end = "\n".join(lines)
        with self.assertRaises(SystemExit):
            fetch_thread_seconds(without_end)


if __name__ == "__main__":
    unittest.main()
