"""The host's setup library: bottles (Wine prefixes) of Larkspur, and their shutdown.

A bottle is a folder below the bottle directory ($PT_BOTTLE_PATH). The default bottle is named
in the file ".default" there, or is "Larkspur".
"""
import os
import shlex
import subprocess

PT_ROOT = None  # set by the host

DEFAULT_BOTTLE = "Larkspur"
QUIT_TIMEOUT = 30


def bottle_dir():
    path = os.environ.get("PT_BOTTLE_PATH")
    if path:
        return path
    data = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(data, "Larkspur", "Bottles")


def default_bottle():
    try:
        with open(os.path.join(bottle_dir(), ".default"), encoding="utf-8") as f:
            name = f.read().strip()
            if name and "/" not in name:
                return name
    except OSError:
        pass
    return DEFAULT_BOTTLE


class Bottle:
    def __init__(self, name):
        self.name = name
        self.wine_prefix = os.path.join(bottle_dir(), name)
        self.display_name = name
        self.is_default = name == default_bottle()

    @property
    def can_run_commands(self):
        return os.path.isfile(os.path.join(self.wine_prefix, "system.reg"))

    def _server_socket(self):
        # Wine's server for a prefix listens in /tmp/.wine-<uid>/server-<dev>-<inode>/socket.
        try:
            st = os.stat(self.wine_prefix)
        except OSError:
            return None
        return "/tmp/.wine-%d/server-%x-%x/socket" % (os.getuid(), st.st_dev, st.st_ino)

    def _server_running(self):
        path = self._server_socket()
        return path is not None and os.path.exists(path)

    def _wine(self, *args):
        env = dict(os.environ)
        env["WINEPREFIX"] = self.wine_prefix
        env["WINEDEBUG"] = "-all"
        env.pop("PT_WINEWRAPPER_ALT_LOADER_SOCKET", None)
        loader = os.path.join(PT_ROOT or "", "lib", "wine", "wine64")
        try:
            return subprocess.run([loader] + list(args), env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=QUIT_TIMEOUT).returncode
        except (OSError, subprocess.TimeoutExpired):
            return -1

    def pre_quit(self, force=False):
        return True

    def quit(self, force=False):
        """Ends the bottle's session: its programs are asked to close."""
        if not self._server_running():
            return True
        args = ["wineboot.exe", "--end-session", "--shutdown"]
        if force:
            args.append("--force")
        return self._wine(*args) == 0 or force

    def post_quit(self, force=False):
        return True

    def force_quit(self):
        if self._server_running():
            self._wine("wineboot.exe", "--kill")


def bottles():
    try:
        names = sorted(n for n in os.listdir(bottle_dir())
                       if not n.startswith(".") and os.path.isdir(os.path.join(bottle_dir(), n)))
    except OSError:
        names = []
    return [Bottle(n) for n in names]


def bottle(name):
    return Bottle(name)


def split_command_line(command):
    """Splits a command line into arguments as a POSIX shell would; an empty command gives none."""
    return shlex.split(command) if command.strip() else []
