"""The client's GUI RPC spoken directly, for what boinccmd rounds or leaves
out (get_disk_usage's bytes, d_boinc, d_allowed): one connection, the
password's challenge answered (auth1, then auth2 with the MD5 of the nonce
and the password), then one request per call. The password is only ever
sent hashed, never printed."""

import hashlib
import re
import socket

END = b"\x03"


class GuiRpc:
    def __init__(self, port, password, timeout=30):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        try:
            nonce = re.search(r"<nonce>([^<]*)</nonce>", self.ask("<auth1/>"))
            if not nonce:
                raise OSError("the client sent no nonce")
            digest = hashlib.md5((nonce.group(1) + password).encode()).hexdigest()
            if "<authorized/>" not in self.ask(f"<auth2>\n<nonce_hash>{digest}</nonce_hash>\n</auth2>"):
                raise OSError("the client refused the password")
        except BaseException:
            self.socket.close()
            raise

    def ask(self, request):
        """The client's reply to one request, as text."""
        self.socket.sendall(f"<boinc_gui_rpc_request>\n{request}\n</boinc_gui_rpc_request>\n".encode() + END)
        reply = b""
        while not reply.endswith(END):
            chunk = self.socket.recv(65536)
            if not chunk:
                raise OSError("the client closed the connection mid-reply")
            reply += chunk
        return reply[:-1].decode(errors="replace")

    def close(self):
        self.socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.close()


def disk_usage(port, password):
    """get_disk_usage: {"projects": {master_url: bytes}, "d_total", "d_free",
    "d_boinc", "d_allowed"}, every figure a float as the client printed it."""
    with GuiRpc(port, password) as rpc:
        reply = rpc.ask("<get_disk_usage/>")
    out = {"projects": {}}
    for block in re.findall(r"<project>(.*?)</project>", reply, re.S):
        url = re.search(r"<master_url>([^<]*)</master_url>", block).group(1)
        out["projects"][url] = float(re.search(r"<disk_usage>([^<]*)</disk_usage>", block).group(1))
    rest = re.sub(r"<project>.*?</project>", "", reply, flags=re.S)
    for key in ("d_total", "d_free", "d_boinc", "d_allowed"):
        m = re.search(rf"<{key}>([^<]*)</{key}>", rest)
        if not m:
            raise OSError(f"get_disk_usage without {key}: {reply[:400]}")
        out[key] = float(m.group(1))
    return out
