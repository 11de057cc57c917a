#!/usr/bin/python3
"""Times the img2pdf library in this one Python process, one conversion a request.

Reads lines "<input>\t<output>" on stdin; for each converts the input with
img2pdf.convert, writes the PDF to the output and answers one line: the seconds taken,
or "error <reason>". Module loading happens once, before the first request.
"""
import os
import sys
import time

import img2pdf


def main():
    # The library prints notes of its own; they must not pass for answers, so answers
    # go to a copy of the original output and everything else to the error output.
    answers = os.fdopen(os.dup(1), "w")
    os.dup2(2, 1)
    answers.write("ready\n")
    answers.flush()
    for line in sys.stdin:
        line = line.rstrip("\n")
        if not line:
            continue
        source, target = line.split("\t", 1)
        start = time.perf_counter()
        try:
            data = img2pdf.convert(source)
            with open(target, "wb") as out:
                out.write(data)
            answer = "%.9f" % (time.perf_counter() - start)
        except Exception as error:  # the bench records the failure and goes on
            answer = "error " + str(error).replace("\n", " ")
        answers.write(answer + "\n")
        answers.flush()


if __name__ == "__main__":
    main()
