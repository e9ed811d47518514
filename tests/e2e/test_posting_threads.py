"""Posting CrossPoint's outgoing articles to a UBBThreads board: new topics,
edits and deletes through the posting script with the UBB form, replies
through "addpost.php"; each confirmed by the answer's success text."""

import unittest

from e2e.test_posting import PostingCase, footer

THREADS_POST = "/ubbthreads/postings.php"
THREADS_REPLY = "/ubbthreads/addpost.php"
# Board 7 holds topic 4701 (Frank's opening post 4701); Tester's post is 4702.
OWN_POST_ID = "<de.php@forum7.4701.4702.1.3e5f>"


class ThreadsPosting(PostingCase):
    engine = "threads"

    def own_post(self):
        self.sim.add_post(7, 4701, "Tester", "mine", subject="Re: Loops")

    def test_new_topic(self):
        self.make_box()
        out = self.outgoing("n0001.OUT", ["Newsgroups: de.php", "Subject: Arrays", "",
                                          "How do arrays work?"])
        self.run_box()
        self.assertPosted(THREADS_POST,
                          "UserName=Tester&Password=secret&TopicSubject=Arrays"
                          "&Message=%0D%0AHow+do+arrays+work%3F%0D%0A" + footer() +
                          "&number=7&forum=PHP+Corner&action=posttopic"
                          "&Submit=Submit+New+Topic")
        self.assertConfirmed(out)
        subjects = [t["subject"] for t in self.sim.model.summary()["7"]["topics"].values()]
        self.assertIn("Arrays", subjects)

    def test_reply_goes_to_addpost(self):
        self.make_box()
        out = self.outgoing("n0002.OUT", [
            "Newsgroups: de.php", "Subject: Re: Loops",
            "References: <de.php@forum7.4701.4701.0.77aa> " + OWN_POST_ID,
            "X-Newsreader: CP", "", "Use foreach."])
        self.run_box()
        self.assertPosted(THREADS_REPLY,
                          "postername=Tester&Board=FOR7&Cat=&Reged=y&page=0&Main=4701"
                          "&Parent=4701&view=expanded&what=showflat&sb=5&o=&fpart=1&vc=1"
                          "&replyto=Edvin+Tolland&Subject=Loops&Icon=book.gif&convert=markup"
                          "&Body=%0D%0AUse+foreach%2E%0D%0A" + footer("CP") +
                          "&textcont=Weiter")
        self.assertNotIn(b"Password", self.only_post().body)
        self.assertConfirmed(out)
        posts = self.topic(7, 4701)["posts"]
        self.assertEqual([p["author"] for p in posts], ["Frank", "Tester"])

    def test_edit(self):
        self.own_post()
        self.make_box()
        out = self.outgoing("n0003.OUT", ["Newsgroups: de.php", "Subject: Re: Loops",
                                          "Supersedes: " + OWN_POST_ID, "", "Fixed."])
        self.run_box()
        self.assertPosted(THREADS_POST,
                          "UserName=Tester&Password=secret&EditedMessage=%0D%0AFixed%2E%0D%0A"
                          "&action=submitedit&TopicSubject=Loops&forum=PHP+Corner"
                          "&ReplyNum=004702&number=7&topic=4701&SUBMIT=Submit+Now")
        self.assertConfirmed(out)
        self.assertEqual(self.topic(7, 4701)["posts"][1]["body"], "\r\nFixed.\r\n")

    def test_delete(self):
        self.own_post()
        self.make_box()
        out = self.outgoing("n0004.OUT", ["Newsgroups: de.php", "Subject: cancel",
                                          "Control: cancel " + OWN_POST_ID, "", "cancel"])
        self.run_box()
        self.assertPosted(THREADS_POST,
                          "DeletePost=yes&UserName=Tester&Password=secret"
                          "&EditedMessage=%0D%0Acancel%0D%0A&action=submitedit"
                          "&TopicSubject=cancel&forum=PHP+Corner&ReplyNum=004702&number=7"
                          "&topic=&SUBMIT=Submit+Now")
        self.assertConfirmed(out)
        self.assertEqual([p["author"] for p in self.topic(7, 4701)["posts"]], ["Frank"])

    def test_refused_reply_stays(self):
        self.make_box(user="Stranger")
        lines = ["Newsgroups: de.php", "Subject: Re: Loops",
                 "References: <de.php@forum7.4701.4701.0.77aa>", "", "Hi."]
        out = self.outgoing("n0005.OUT", lines, "\n")
        self.run_box()
        self.assertEqual(self.only_post().path, THREADS_REPLY)
        self.assertKept(out, "".join(l + "\n" for l in lines).encode("latin-1"))
        self.assertEqual(len(self.topic(7, 4701)["posts"]), 1)


if __name__ == "__main__":
    unittest.main()
