#!/usr/bin/env python3
"""The far end of a serial line that sends back every byte it gets: a
pseudo-terminal whose device path is the first line of standard output. Ends
on SIGTERM or SIGINT."""
import os
import select
import sys
import tty

master, device = os.openpty()
tty.setraw(device)  # keeps the device side open too, so the line never reads as hung up
print(os.ttyname(device), flush=True)
try:
    while True:
        select.select([master], [], [])
        data = os.read(master, 4096)
        while data:
            data = data[os.write(master, data):]
except KeyboardInterrupt:
    sys.exit(0)
