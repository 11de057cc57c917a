#!/usr/bin/env python3
"""Workbooks and presentations from other projects through vellumdkd, against the office
suite's own export of the same documents.

    realworld_compare.py --documents DIR [--build BUILD] [--jobs 2] [--work DIR]

DIR holds the documents (.xls .xlsx .xlsm .ods .ppt .pptx .pptm .odp), each with a stem of
its own (the daemon names its PDFs by stem). Made once for all documents, each by one
`soffice --convert-to` call with a profile of its own:
  - a deck's reference is the suite's PDF of the deck;
  - a workbook's references are the suite's PDFs of each of its sheets alone: the workbook is
    saved as flat ODF, and one copy per sheet, every other sheet hidden and without its print
    range in it (the suite prints no such sheet; charts keep their data there), is printed. The scan cycle prints
    the active sheet, which a flat copy made without a view does not record: ours is held
    against the sheet whose words it shares most.
Then the folder goes through `vellumdkd --jobs N` in a scratch world of its own, and each
PDF's words (pdftotext, split at blanks, counted with their repeats) are held against the
reference's: a document the suite converts must be converted, and at least 95% of the
reference's words must be in ours. A document the suite refuses is not counted.
Prints one line per document and a summary; exit 0 when every document meets the bar.
"""
import argparse
import collections
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WORKBOOKS = {".xls", ".xlsx", ".xlsm", ".ods", ".fods"}
DECKS = {".ppt", ".pptx", ".pptm", ".odp", ".fodp"}
BAR = 0.95


def soffice(profile, arguments, timeout):
    subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless"] + arguments,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def words(pdf):
    if not os.path.isfile(pdf):
        return None
    done = subprocess.run(["pdftotext", pdf, "-"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    if done.returncode != 0:
        return None
    return collections.Counter(done.stdout.decode("utf-8", "replace").split())


TOKEN = re.compile(r"<(/?)(table:table|draw:object)(?=[\s>/])([^>]*)>")
# A hidden sheet with a print range of its own is printed all the same: both go.
STYLE = re.compile(r'\s+table:(?:style-name|print-ranges)="[^"]*"')
HIDDEN_STYLE = ('<style:style style:name="vdHiddenSheet" style:family="table">'
                '<style:table-properties table:display="false"/></style:style>')


def sheet_tags(text):
    """The start tags of the workbook's sheets, not those of the tables inside its charts."""
    tags, objects, tables = [], 0, 0
    for match in TOKEN.finditer(text):
        closing, tag, attributes = match.groups()
        if attributes.endswith("/"):
            continue
        if tag == "draw:object":
            objects += -1 if closing else 1
        elif objects == 0:
            if closing:
                tables -= 1
            else:
                if tables == 0:
                    tags.append(match)
                tables += 1
    return tags


def one_sheet_copies(fods, folder):
    """One copy of the flat ODF workbook per sheet, every other sheet hidden in it; their paths."""
    with open(fods, encoding="utf-8") as source:
        text = source.read()
    if "<office:automatic-styles>" in text:
        text = text.replace("<office:automatic-styles>", "<office:automatic-styles>" + HIDDEN_STYLE, 1)
    else:
        text = text.replace("<office:body>", "<office:automatic-styles>" + HIDDEN_STYLE +
                            "</office:automatic-styles><office:body>", 1)
    tags = sheet_tags(text)
    copies = []
    for kept in range(len(tags)):
        pieces, at = [], 0
        for index, tag in enumerate(tags):
            if index == kept:
                continue
            pieces += [text[at:tag.start()], "<table:table" + STYLE.sub("", tag.group(3)) +
                       ' table:style-name="vdHiddenSheet">']
            at = tag.end()
        pieces.append(text[at:])
        copy = os.path.join(folder, "%s--sheet%d.fods" % (os.path.splitext(os.path.basename(fods))[0], kept + 1))
        with open(copy, "w", encoding="utf-8") as target:
            target.write("".join(pieces))
        copies.append(copy)
    return copies


def references(documents, work):
    """The suite's PDFs of each document by stem: one of a deck, one per sheet of a workbook."""
    profile = os.path.join(work, "profile")
    made = os.path.join(work, "references")
    flat = os.path.join(work, "flat")
    sheets = os.path.join(work, "sheets")
    for folder in (made, flat, sheets):
        os.makedirs(folder)
    decks = [d for d in documents if os.path.splitext(d)[1].lower() in DECKS]
    books = [d for d in documents if os.path.splitext(d)[1].lower() in WORKBOOKS]
    found = {}
    if decks:
        soffice(profile, ["--convert-to", "pdf", "--outdir", made] + decks, 3600)
        for deck in decks:
            stem = os.path.splitext(os.path.basename(deck))[0]
            found[stem] = [os.path.join(made, stem + ".pdf")]
    if books:
        soffice(profile, ["--convert-to", "fods", "--outdir", flat] + books, 3600)
        copies = {}
        for book in books:
            stem = os.path.splitext(os.path.basename(book))[0]
            fods = os.path.join(flat, stem + ".fods")
            copies[stem] = one_sheet_copies(fods, sheets) if os.path.isfile(fods) else []
        every = [copy for stem in copies for copy in copies[stem]]
        if every:
            soffice(profile, ["--convert-to", "pdf", "--outdir", made] + every, 3600)
        for stem, paths in copies.items():
            found[stem] = [os.path.join(made, os.path.splitext(os.path.basename(p))[0] + ".pdf") for p in paths]
    return found


def same_sheet(ours, sheets):
    """The words of the sheet ours printed: of the suite's sheets with words, the one sharing
    the most words with ours (the fewest words on a tie, so that a blank PDF of ours is held
    against a sheet with words, never against an empty one); None when the suite printed
    none of them."""
    printed = [theirs for theirs in (words(pdf) for pdf in sheets) if theirs is not None]
    if not printed:
        return None
    with_words = [theirs for theirs in printed if theirs] or printed
    return max(with_words, key=lambda theirs: (sum(min(c, ours[w]) for w, c in theirs.items()),
                                               -sum(theirs.values())))


def through_daemon(documents, work, build, jobs, bound):
    """Ours: the folder through vellumdkd in a scratch world; the seconds it took."""
    world = os.path.join(work, "world")
    environment = dict(os.environ)
    for variable, folder in [("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                             ("XDG_STATE_HOME", "state"), ("XDG_CONFIG_DIRS", "xdg"), ("XDG_RUNTIME_DIR", "runtime"),
                             ("VELLUMDOCK_MACHINE_DIR", "machine")]:
        os.makedirs(os.path.join(world, folder), mode=0o700)
        environment[variable] = os.path.join(world, folder)
    inbox = os.path.join(work, "in")
    outbox = os.path.join(work, "out")
    os.makedirs(inbox)
    os.makedirs(outbox)
    for document in documents:
        shutil.copy(document, inbox)
    names = {os.path.basename(d) for d in documents}
    started = time.monotonic()
    daemon = subprocess.Popen([os.path.join(build, "lib/vellumdock/vellumdkd"), "--input", inbox, "--output", outbox,
                               "--interval", "1", "--jobs", str(jobs), "--no-security"],
                              env=environment, stdout=open(os.path.join(work, "daemon.log"), "w"),
                              stderr=subprocess.STDOUT)
    try:
        # Every input is taken from the folder when it is done, converted or moved to failed/.
        while names & set(os.listdir(inbox)):
            if time.monotonic() - started > bound:
                raise RuntimeError("vellumdkd left %d documents unconverted after %d s" %
                                   (len(names & set(os.listdir(inbox))), bound))
            if daemon.poll() is not None:
                raise RuntimeError("vellumdkd ended with %d" % daemon.returncode)
            time.sleep(0.5)
        return time.monotonic() - started
    finally:
        daemon.send_signal(signal.SIGTERM)
        daemon.wait(timeout=120)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--documents", required=True)
    parser.add_argument("--build", default="build-test")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--work", help="kept afterwards; a scratch folder removed at the end when absent")
    parser.add_argument("--bound", type=int, default=3600, help="seconds the daemon may take for the folder")
    options = parser.parse_args()
    documents = sorted(os.path.join(options.documents, name) for name in os.listdir(options.documents)
                       if os.path.splitext(name)[1].lower() in WORKBOOKS | DECKS)
    stems = collections.Counter(os.path.splitext(os.path.basename(d))[0] for d in documents)
    if any(count > 1 for count in stems.values()):
        sys.exit("two documents share a stem: " + ", ".join(s for s, c in stems.items() if c > 1))
    work = options.work or tempfile.mkdtemp(prefix="vellumdock-realworld-")
    os.makedirs(work, exist_ok=True)
    try:
        began = time.monotonic()
        expected = references([os.path.abspath(d) for d in documents], work)
        suite_seconds = time.monotonic() - began
        daemon_seconds = through_daemon(documents, work, os.path.abspath(options.build), options.jobs, options.bound)
        tally = collections.Counter()
        exceptions = []
        for document in documents:
            name = os.path.basename(document)
            stem, extension = os.path.splitext(name)
            kind = "workbook" if extension.lower() in WORKBOOKS else "deck"
            ours = words(os.path.join(work, "out", stem + ".pdf"))
            if kind == "deck":
                theirs = words(expected[stem][0])
            else:
                theirs = same_sheet(ours or collections.Counter(), expected[stem])
            if theirs is None:
                tally[kind + " refused by the suite"] += 1
                print("%-8s %-45s suite: no PDF   ours: %s" % (kind, name, "PDF" if ours is not None else "no PDF"))
                continue
            tally[kind + " converted by the suite"] += 1
            if ours is None:
                exceptions.append(name + ": the suite converts it, ours does not")
                print("%-8s %-45s ours: no PDF" % (kind, name))
                continue
            total = sum(theirs.values())
            shared = sum(min(count, ours[word]) for word, count in theirs.items())
            share = shared / total if total else 1.0
            tally[kind + " at the bar"] += share >= BAR
            if share < BAR:
                exceptions.append("%s: %d of %d words (%.1f%%)" % (name, shared, total, 100 * share))
            print("%-8s %-45s words %6d of %6d  %6.1f%%%s" % (kind, name, shared, total, 100 * share,
                                                             "" if share >= BAR else "  BELOW"))
        print()
        for key in sorted(tally):
            print("%s: %d" % (key, tally[key]))
        print("suite references: %.0f s; vellumdkd --jobs %d: %.0f s for %d documents" %
              (suite_seconds, options.jobs, daemon_seconds, len(documents)))
        for line in exceptions:
            print("exception: " + line)
        return 1 if exceptions else 0
    finally:
        if not options.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
