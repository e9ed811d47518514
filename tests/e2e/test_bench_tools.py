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


# A `perf script` of a run with one box (thread created, thread ended): 100
# is the main thread, 101 the display, 102 the fetch thread, 103 and 104 its
# connections, 105 the posting thread.
TRACE = """\
100/100 10.010000:        task:task_newtask: pid=101 comm=quorix clone_flags=3d0f00 oom_score_adj=0
100/100 10.021000:        task:task_newtask: pid=102 comm=quorix clone_flags=3d0f00 oom_score_adj=0
100/101 10.020500: sched:sched_process_exit: comm=quorix pid=101 prio=120 group_dead=false
100/102 10.030000:        task:task_newtask: pid=103 comm=quorix clone_flags=3d0f00 oom_score_adj=0
100/102 10.031000:        task:task_newtask: pid=104 comm=quorix clone_flags=3d0f00 oom_score_adj=0
100/103 10.200000: sched:sched_process_exit: comm=quorix pid=103 prio=120 group_dead=false
100/104 10.210000: sched:sched_process_exit: comm=quorix pid=104 prio=120 group_dead=false
100/102 10.250500: sched:sched_process_exit: comm=quorix pid=102 prio=120 group_dead=false
100/100 10.300000:        task:task_newtask: pid=105 comm=quorix clone_flags=3d0f00 oom_score_adj=0
100/105 11.800000: sched:sched_process_exit: comm=quorix pid=105 prio=120 group_dead=false
100/100 11.950000: sched:sched_process_exit: comm=quorix pid=100 prio=120 group_dead=true
"""


class FetchThreadTest(unittest.TestCase):
    def test_the_second_thread_of_the_main_thread_from_its_start_to_its_end(self):
        self.assertAlmostEqual(fetch_thread_seconds(TRACE), 10.2505 - 10.021, places=6)

    def test_a_trace_without_a_fetch_thread_is_refused(self):
        lines = [line for line in TRACE.splitlines() if not line.startswith("100/102 ")]
        without_end = "\n".join(lines)
        with self.assertRaises(SystemExit):
            fetch_thread_seconds(without_end)


if __name__ == "__main__":
    unittest.main()
