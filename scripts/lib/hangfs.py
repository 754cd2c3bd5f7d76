#!/usr/bin/python3
# A file system that does not answer: every lookup and listing below the mount point sleeps for
# the given seconds and then finds nothing, the way a file server that is down or behind a VPN that
# is not connected keeps each call waiting for the network's time-out.
# Usage: hangfs.py MOUNTPOINT SECONDS   (runs in the foreground; unmount with fusermount3 -u)
import errno
import stat
import sys
import time

import fusepy


class Hanging(fusepy.Operations):
    def __init__(self, seconds):
        self.seconds = seconds

    def getattr(self, path, fh=None):
        if path == "/":
            # The mount point itself answers, so the drive letter resolves; what lies below hangs.
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        time.sleep(self.seconds)
        raise fusepy.FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        time.sleep(self.seconds)
        return [".", ".."]


if __name__ == "__main__":
    fusepy.FUSE(Hanging(float(sys.argv[2])), sys.argv[1], foreground=True, nothreads=False)
