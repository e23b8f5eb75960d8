#!/usr/bin/env python3
"""The fake web service and content server the program's tests talk to.

An HTTP proxy on ::1 (port chosen by the system, announced as "PORT <n>" on
standard output). The program keeps its built-in addresses: every host is
served through the proxy. A CONNECT host:port is answered with
"200 Connection established", then the server side of TLS runs with a
certificate for that host and HTTP/1.1 with keep-alive is served inside the
tunnel. Absolute "http://" requests are served the same way, so a test also
sees what went out without TLS.

State directory (--state):
  ca.pem            the test CA the program is told to trust (SSL_CERT_FILE)
  routes.json       answer rules, re-read whenever it changes
  requests.jsonl    one JSON object per request received
  fakeweb.log       errors of the service itself

Answers come from the first matching rule of routes.json, else from the
static mounts (--mount HOST PREFIX DIR, repeated; several DIRs of one HOST
and PREFIX are searched in the order given), else 404.

A rule (all keys optional but "path"):
  method      "GET", "POST", ... or "*" (default)
  host        exact host name, or "*" (default)
  path        glob pattern (fnmatch) over the path without the query
  status      default 200 (302 with "redirect"); reason: its text
  headers     object of header names to values
  body        text; bodyBase64: bytes; bodyFile: a file; bodySize: N bytes
              of the deterministic pattern byte i = i % 251
  encoding    "gzip": the body is sent gzip-compressed with Content-Encoding
  delayMs     wait before the headers
  holdUntil   a file name in the state folder: the answer waits until a
              test creates that file (or the service stops)
  hang        true: read the request, never answer
  cutAfter    N: announce the full Content-Length, send N body bytes, close
  stallAfter  N: announce the full Content-Length, send N body bytes, then
              send nothing more while the service runs
  chunked     true: chunked transfer coding, no Content-Length
  trickle     {"bytes": n, "intervalMs": m}: send the body n bytes at a time
  setCookie   list of Set-Cookie values
  redirect    a Location; the status defaults to 302
  handler     name of a built-in handler (HANDLERS below), which answers;
              the handlers' own keys are listed with them
  once        true: the rule matches once only

A rule's handler state (the long poll's count) lives as long as the rule:
writing routes.json starts it afresh.

Content templates: a mounted folder may hold "fakeweb-templates.json",
{"<relative path>": {"template": "<relative path>", "values": {"KEY": "text"}}}.
A requested file that no folder of the mount holds is made from its template
with every "@KEY@" replaced by its text (content type by the requested name).

Stops when standard input reaches end of file, or on SIGTERM.
"""

import argparse
import base64
import datetime
import fnmatch
import functools
import gzip
import hashlib
import http.server
import json
import os
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

SMALL_BODY = 4096

CONTENT_TYPES = {
    ".html": "text/html; charset=utf-8",
    ".htm": "text/html; charset=utf-8",
    ".js": "application/javascript",
    ".css": "text/css",
    ".json": "application/json",
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".gif": "image/gif",
    ".ttf": "font/ttf",
    ".zip": "application/zip",
}

# Hosts whose certificate comes from the CA that nothing trusts.
UNTRUSTED_HOSTS = {"untrusted.ravo.test"}
TRUSTED_NAMES = ["*.ravo.test", "*.zarvo.test", "*.other.test"]


@functools.lru_cache(maxsize=4)
def deterministic_body(size):
    # Kept: the benchmarks ask for the same large body again and again.
    pattern = bytes(range(251))
    whole, rest = divmod(size, len(pattern))
    return pattern * whole + pattern[:rest]


class Certificates:
    """The test CA, the trusted leaf and the leaf of a CA nobody trusts."""

    def __init__(self, state):
        self.state = state
        self._openssl_ca("ca")
        self._openssl_ca("untrusted-ca")
        self._openssl_leaf("leaf", "ca", "ravo.test", TRUSTED_NAMES)
        self._openssl_leaf("untrusted", "untrusted-ca", "untrusted.ravo.test",
                           sorted(UNTRUSTED_HOSTS))
        self.trusted = self._context("leaf")
        self.untrusted = self._context("untrusted")

    def _path(self, name):
        return os.path.join(self.state, name)

    def _run(self, *args):
        subprocess.run(["openssl", *args], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def _openssl_ca(self, name):
        self._run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                  "-nodes", "-keyout", self._path(name + ".key"),
                  "-out", self._path(name + ".pem"), "-days", "3650",
                  "-subj", "/CN=RavoSync test " + name,
                  "-addext", "basicConstraints=critical,CA:TRUE",
                  "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def _openssl_leaf(self, name, ca, common_name, names):
        self._run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                  "-nodes", "-keyout", self._path(name + ".key"),
                  "-out", self._path(name + ".pem"), "-days", "825",
                  "-CA", self._path(ca + ".pem"), "-CAkey", self._path(ca + ".key"),
                  "-subj", "/CN=" + common_name,
                  "-addext", "basicConstraints=critical,CA:FALSE",
                  "-addext", "keyUsage=critical,digitalSignature",
                  "-addext", "extendedKeyUsage=serverAuth",
                  "-addext", "subjectAltName=" + ",".join("DNS:" + n for n in names))

    def _context(self, name):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self._path(name + ".pem"), self._path(name + ".key"))
        context.set_alpn_protocols(["http/1.1"])
        return context

    def context_for(self, host):
        return self.untrusted if host in UNTRUSTED_HOSTS else self.trusted


class Routes:
    """routes.json, read again whenever its modification stamp changes."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.stamp = None
        self.rules = []
        self.used = set()

    def _reload(self):
        try:
            status = os.stat(self.path)
            stamp = (status.st_mtime_ns, status.st_size, status.st_ino)
        except FileNotFoundError:
            stamp = None
        if stamp == self.stamp:
            return
        rules = []
        if stamp is not None:
            with open(self.path, encoding="utf-8") as source:
                loaded = json.load(source)
            rules = loaded.get("routes", []) if isinstance(loaded, dict) else loaded
        self.stamp = stamp
        self.rules = rules
        self.used = set()

    def match(self, method, host, path):
        with self.lock:
            self._reload()
            for index, rule in enumerate(self.rules):
                if rule.get("method", "*") not in ("*", method):
                    continue
                if rule.get("host", "*") not in ("*", host):
                    continue
                if not fnmatch.fnmatchcase(path, rule.get("path", "*")):
                    continue
                if rule.get("once") and index in self.used:
                    continue
                self.used.add(index)
                rule.setdefault("_state", {})
                return rule
        return None


class Service:
    def __init__(self, state, mounts):
        self.state = state
        self.mounts = mounts  # list of (host, prefix, [dirs])
        self.certificates = Certificates(state)
        self.routes = Routes(os.path.join(state, "routes.json"))
        self.log_lock = threading.Lock()
        self.state_lock = threading.Lock()
        self.store_lock = threading.Lock()
        self.stopping = threading.Event()

    def log_request(self, entry):
        line = json.dumps(entry, sort_keys=True) + "\n"
        with self.log_lock:
            with open(os.path.join(self.state, "requests.jsonl"), "a", encoding="utf-8") as log:
                log.write(line)
                log.flush()

    def log_error(self, text):
        with self.log_lock:
            with open(os.path.join(self.state, "fakeweb.log"), "a", encoding="utf-8") as log:
                log.write(time.strftime("%H:%M:%S ") + text + "\n")

    def static_file(self, host, path):
        """The file a mount serves for host and path, or None."""
        parts = urllib.parse.unquote(path)
        for mount_host, prefix, dirs in self.mounts:
            if mount_host != host or not parts.startswith(prefix):
                continue
            relative = parts[len(prefix):]
            pieces = [p for p in relative.split("/") if p]
            if not pieces or any(p in (".", "..") or "\0" in p for p in pieces):
                continue
            for directory in dirs:
                candidate = os.path.join(directory, *pieces)
                if os.path.isfile(candidate):
                    return candidate
        return None

    def templated_file(self, host, path):
        """The bytes a mount's template makes for host and path, or None."""
        parts = urllib.parse.unquote(path)
        for mount_host, prefix, dirs in self.mounts:
            if mount_host != host or not parts.startswith(prefix):
                continue
            pieces = [p for p in parts[len(prefix):].split("/") if p]
            if not pieces or any(p in (".", "..") or "\0" in p for p in pieces):
                continue
            relative = "/".join(pieces)
            for directory in dirs:
                index = os.path.join(directory, "fakeweb-templates.json")
                if not os.path.isfile(index):
                    continue
                with open(index, encoding="utf-8") as source:
                    entry = json.load(source).get(relative)
                if not isinstance(entry, dict):
                    continue
                template = [p for p in str(entry.get("template", "")).split("/") if p]
                if not template or any(p in (".", "..") for p in template):
                    continue
                with open(os.path.join(directory, *template), encoding="utf-8") as source:
                    text = source.read()
                for key, value in entry.get("values", {}).items():
                    text = text.replace("@" + key + "@", str(value))
                return text.encode("utf-8")
        return None

    def stored_path(self, host, path):
        """Where the store handler keeps the body of host and path, or None
        for a name that would leave the store."""
        pieces = [p for p in urllib.parse.unquote(path).split("/") if p]
        if not host or any(p in (".", "..") or "\0" in p for p in pieces + [host]):
            return None
        if "/" in host or not pieces:
            return None
        return os.path.join(self.state, "store", host, *pieces)


def handler_echo(request, rule, body):
    """Answers with the request as JSON (method, path, query, headers, body)."""
    answer = {
        "method": request.command,
        "host": request.target_host,
        "path": request.target_path,
        "query": request.target_query,
        "headers": {k.lower(): v for k, v in request.headers.items()},
        "bodyBase64": base64.b64encode(body).decode("ascii"),
    }
    return 200, {"Content-Type": "application/json"}, json.dumps(answer).encode("utf-8")


def json_answer(status, value):
    return status, {"Content-Type": "application/json"}, json.dumps(value).encode("utf-8")


def request_object(body):
    """The request body as a JSON object, or None."""
    try:
        value = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return None
    return value if isinstance(value, dict) else None


# What a login answers when the rule says nothing else: the user's data
# below the web service's own address, which the program's credentials go to.
DEFAULT_LOGIN_REPLY = {
    "baseUrl": "https://content.ravo.test/v2/users/1001",
    "id": 1001,
    "trainingComputerDeviceId": 2001,
}


def login_reply(rule, extra=None):
    reply = dict(DEFAULT_LOGIN_REPLY)
    reply.update(rule.get("reply", {}))
    reply.update(extra or {})
    return reply


def handler_login(request, rule, body):
    """POST login/user/associateToApp with {"username", "password"}.

    users   {"<name>": "<password>"} or {"<name>": {"password": ..., and
            members that replace the reply's}}; nobody else gets in (401)
    reply   members over the default reply {"baseUrl", "id",
            "trainingComputerDeviceId"}
    A body that is not such an object answers 400.
    """
    data = request_object(body)
    if (data is None or not isinstance(data.get("username"), str)
            or not isinstance(data.get("password"), str)):
        return json_answer(400, {"error": "username and password expected"})
    entry = rule.get("users", {}).get(data["username"])
    extra = {}
    if isinstance(entry, dict):
        extra = {k: v for k, v in entry.items() if k != "password"}
        entry = entry.get("password")
    if entry is None or str(entry) != data["password"]:
        return json_answer(401, {"error": "unauthorized"})
    return json_answer(200, login_reply(rule, extra))


def handler_sso(request, rule, body):
    """POST login/sso/associateToApp, the long poll, with {"secretToken",
    "publicToken"} (400 without them).

    pending  the answers before the login reply, one per poll: a status
             number, "hang" (never answers) or "drop" (the connection
             ends after the answer's head); a number N means N times 504.
             A time-out at the gateway is a 504 held "holdMs"
    holdMs   how long each pending poll is held before its answer
    reply    as for "login"
    """
    data = request_object(body)
    if data is None or not all(isinstance(data.get(k), str) and data.get(k)
                               for k in ("secretToken", "publicToken")):
        return json_answer(400, {"error": "secretToken and publicToken expected"})
    service = request.server.service
    with service.state_lock:
        poll = rule["_state"].get("polls", 0)
        rule["_state"]["polls"] = poll + 1
    pending = rule.get("pending", [])
    if isinstance(pending, int):
        pending = [504] * pending
    if poll < len(pending):
        step = pending[poll]
        hold = rule.get("holdMs", 0)
        if hold:
            service.stopping.wait(hold / 1000.0)
        if step == "hang":
            return None
        if step == "drop":
            return "drop"
        return json_answer(int(step), {"error": "no login yet"})
    return json_answer(200, login_reply(rule))


# The fake clock when the rule sets none.
DEFAULT_UTC = "2026-01-15T09:30:00Z"


def handler_time(request, rule, body):
    """GET time/<minutes east of UTC>?timeUnit=minute.

    utc   the fake clock, ISO 8601 UTC ("2026-01-15T09:30:00Z" by default)
    Answers {"utc", "local"}: the clock and the same instant as local time
    with its offset. Another time unit or a zone that is no integer: 400.
    """
    query = urllib.parse.parse_qs(request.target_query)
    zone = request.target_path.rstrip("/").rsplit("/", 1)[-1]
    try:
        minutes = int(zone)
    except ValueError:
        return json_answer(400, {"error": "time zone in minutes expected"})
    if query.get("timeUnit") != ["minute"] or abs(minutes) > 24 * 60:
        return json_answer(400, {"error": "timeUnit=minute expected"})
    utc = datetime.datetime.strptime(rule.get("utc", DEFAULT_UTC), "%Y-%m-%dT%H:%M:%SZ")
    local = utc + datetime.timedelta(minutes=minutes)
    sign = "-" if minutes < 0 else "+"
    offset = "%s%02d:%02d" % (sign, abs(minutes) // 60, abs(minutes) % 60)
    return json_answer(200, {"utc": utc.strftime("%Y-%m-%dT%H:%M:%SZ"),
                             "local": local.strftime("%Y-%m-%dT%H:%M:%S") + offset})


def handler_registration(request, rule, body):
    """GET devices/<device id>/registration: whether the device has an owner.

    registered  true (every device, the default), false, or a list of the
                registered devices' ids (decimal texts)
    Answers {"deviceId", "registered"}.
    """
    parts = [p for p in request.target_path.split("/") if p]
    device = parts[-2] if len(parts) >= 2 and parts[-1] == "registration" else ""
    if not device:
        return json_answer(400, {"error": "devices/<id>/registration expected"})
    registered = rule.get("registered", True)
    if isinstance(registered, list):
        known = device in [str(d) for d in registered]
    else:
        known = bool(registered)
    return json_answer(200, {"deviceId": device, "registered": known})


def handler_store(request, rule, body):
    """User data: POST or PUT stores the body under the request's host and
    path (state folder "store/<host>/<path>"), GET answers it back (404 when
    none), DELETE removes it. A store answers
    {"path", "length", "sha256"} with status 201 for POST, 200 for PUT.
    """
    service = request.server.service
    target = service.stored_path(request.target_host, request.target_path)
    if target is None:
        return json_answer(400, {"error": "bad name"})
    method = request.command
    with service.store_lock:
        if method in ("POST", "PUT"):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target + ".part", "wb") as out:
                out.write(body)
            os.replace(target + ".part", target)
            return json_answer(201 if method == "POST" else 200, {
                "path": request.target_path,
                "length": len(body),
                "sha256": hashlib.sha256(body).hexdigest(),
            })
        if method in ("GET", "HEAD"):
            if not os.path.isfile(target):
                return json_answer(404, {"error": "not stored"})
            with open(target, "rb") as source:
                return 200, {"Content-Type": "application/octet-stream"}, source.read()
        if method == "DELETE":
            if os.path.isfile(target):
                os.remove(target)
            return 204, {}, b""
    return json_answer(405, {"error": "method not allowed"})


# Built-in handlers by name: each takes (request handler, rule, request body)
# and returns (status, headers, body bytes), None to never answer or "drop"
# to close the connection unanswered.
HANDLERS = {
    "echo": handler_echo,
    "login": handler_login,
    "sso": handler_sso,
    "time": handler_time,
    "registration": handler_registration,
    "store": handler_store,
}


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # An answer goes out whole at once: with Nagle's algorithm a small
    # answer waits for the client's delayed acknowledgement (40 ms and more
    # a request), which is the network's cost, not the program's.
    disable_nagle_algorithm = True
    def version_string(self):
        return "FakeWeb/1"

    tunnel_host = None
    tunnel_port = None

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError) as error:
            self.server.service.log_error("connection: %r" % (error,))

    # CONNECT host:port opens a TLS tunnel; the requests inside it go
    # through the same methods with the tunnel's host.
    def do_CONNECT(self):
        host, _, port = self.path.rpartition(":")
        if not host:
            host, port = self.path, "443"
        host = host.strip("[]")
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        context = self.server.service.certificates.context_for(host)
        try:
            tls = context.wrap_socket(self.connection, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.server.service.log_error("TLS handshake with %s: %r" % (host, error))
            self.close_connection = True
            return
        self.connection = tls
        self.request = tls
        self.rfile = tls.makefile("rb", self.rbufsize)
        self.wfile = socketserver._SocketWriter(tls)
        self.tunnel_host = host
        self.tunnel_port = int(port) if port.isdigit() else 443
        self.close_connection = False

    def _target(self):
        """(scheme, host, path, query) of the current request."""
        if self.tunnel_host is not None:
            split = urllib.parse.urlsplit(self.path)
            return "https", self.tunnel_host, split.path or "/", split.query
        split = urllib.parse.urlsplit(self.path)
        if split.scheme:
            return split.scheme, split.hostname or "", split.path or "/", split.query
        host = (self.headers.get("Host") or "").rsplit(":", 1)[0].strip("[]")
        return "http", host, split.path or "/", split.query

    def _quick_ack(self):
        # A client that sends a request's head and body in two writes has
        # the body wait for the head's acknowledgement; acknowledge at once.
        try:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        except (AttributeError, OSError):
            pass

    def _read_body(self):
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            body = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline().strip():
                        pass
                    return body
                body += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _serve(self):
        service = self.server.service
        scheme, host, path, query = self._target()
        self.target_host, self.target_path, self.target_query = host, path, query
        self._quick_ack()
        body = self._read_body()
        entry = {
            "method": self.command,
            "scheme": scheme,
            "host": host,
            "path": path,
            "query": query,
            "headers": {},
            "bodyLength": len(body),
            "bodySha256": hashlib.sha256(body).hexdigest(),
        }
        # Header names in lower case; a repeated header's values joined.
        for name, value in self.headers.items():
            key = name.lower()
            entry["headers"][key] = (entry["headers"][key] + ", " + value
                                     if key in entry["headers"] else value)
        if len(body) <= SMALL_BODY:
            try:
                entry["body"] = body.decode("utf-8")
            except UnicodeDecodeError:
                entry["bodyBase64"] = base64.b64encode(body).decode("ascii")
        service.log_request(entry)

        rule = service.routes.match(self.command, host, path)
        if rule is None:
            self._serve_static(host, path)
        else:
            self._serve_rule(rule, body)

    def _serve_static(self, host, path):
        service = self.server.service
        if self.command not in ("GET", "HEAD"):
            self._answer(404, {"Content-Type": "text/plain"}, b"Not found")
            return
        file_path = service.static_file(host, path)
        if file_path is not None:
            with open(file_path, "rb") as source:
                content = source.read()
        else:
            content = service.templated_file(host, path)
            file_path = urllib.parse.unquote(path)
        if content is None:
            self._answer(404, {"Content-Type": "text/plain"}, b"Not found")
            return
        extension = os.path.splitext(file_path)[1].lower()
        content_type = CONTENT_TYPES.get(extension, "application/octet-stream")
        self._answer(200, {"Content-Type": content_type}, content)

    def _rule_body(self, rule):
        if "bodyBase64" in rule:
            return base64.b64decode(rule["bodyBase64"])
        if "bodyFile" in rule:
            with open(rule["bodyFile"], "rb") as source:
                return source.read()
        if "bodySize" in rule:
            return deterministic_body(int(rule["bodySize"]))
        return str(rule.get("body", "")).encode("utf-8")

    def _serve_rule(self, rule, request_body):
        if rule.get("hang"):
            # Never answers; the connection ends with the service.
            self.server.service.stopping.wait()
            self.close_connection = True
            return
        delay = rule.get("delayMs", 0)
        if delay:
            time.sleep(delay / 1000.0)
        gate = rule.get("holdUntil")
        if gate:
            gate = os.path.join(self.server.service.state, os.path.basename(gate))
            while not os.path.exists(gate):
                if self.server.service.stopping.wait(0.05):
                    self.close_connection = True
                    return
        if rule.get("handler"):
            answer = HANDLERS[rule["handler"]](self, rule, request_body)
            if answer is None:
                self.server.service.stopping.wait()
                self.close_connection = True
                return
            if answer == "drop":
                # The answer's head, then the line goes before its body: a
                # client resends a request whose answer had not begun.
                self._answer(200, {"Content-Type": "application/json"}, b"{}" * 32,
                             rule={"cutAfter": 0})
                return
            status, headers, body = answer
            headers = dict(headers)
            headers.update(rule.get("headers", {}))
        else:
            status = rule.get("status", 302 if rule.get("redirect") else 200)
            headers = dict(rule.get("headers", {}))
            body = self._rule_body(rule)
        if rule.get("redirect"):
            headers["Location"] = rule["redirect"]
        if rule.get("encoding") == "gzip":
            body = gzip.compress(body, mtime=0)
            headers["Content-Encoding"] = "gzip"
        self._answer(status, headers, body, rule=rule)

    def _answer(self, status, headers, body, rule=None):
        rule = rule or {}
        self.send_response(status, rule.get("reason"))
        for name, value in headers.items():
            self.send_header(name, value)
        for cookie in rule.get("setCookie", []):
            self.send_header("Set-Cookie", cookie)
        chunked = bool(rule.get("chunked"))
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(len(body)))
        if self.command == "HEAD":
            self.end_headers()
            self.wfile.flush()
            return
        paced = chunked or any(key in rule for key in ("cutAfter", "stallAfter", "trickle"))
        if not paced:
            # Head and body in one write.
            self._headers_buffer.append(b"\r\n")
            head = b"".join(self._headers_buffer)
            self._headers_buffer = []
            self.wfile.write(head + body)
            self.wfile.flush()
            return
        self.end_headers()

        sent = body
        if "cutAfter" in rule:
            sent = body[: int(rule["cutAfter"])]
        elif "stallAfter" in rule:
            sent = body[: int(rule["stallAfter"])]
        trickle = rule.get("trickle") or {}
        step = int(trickle.get("bytes", 0)) or len(sent) or 1
        interval = trickle.get("intervalMs", 0) / 1000.0
        for offset in range(0, len(sent), step):
            piece = sent[offset:offset + step]
            if chunked:
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            else:
                self.wfile.write(piece)
            self.wfile.flush()
            if interval and offset + step < len(sent):
                time.sleep(interval)
        if "cutAfter" in rule:
            self.close_connection = True
            self._cut()
            return
        if "stallAfter" in rule:
            self.server.service.stopping.wait()
            self.close_connection = True
            return
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def _cut(self):
        # Close the connection and, inside a tunnel, the tunnel too, without
        # TLS's orderly close, as a dropped line would.
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def __getattr__(self, name):
        # Every method but CONNECT is served from the rules and mounts.
        if name.startswith("do_"):
            return self._serve
        raise AttributeError(name)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    address_family = socket.AF_INET6
    daemon_threads = True
    allow_reuse_address = True


def parse_arguments():
    parser = argparse.ArgumentParser(description="Fake web service and content server")
    parser.add_argument("--state", required=True, help="state directory")
    parser.add_argument("--mount", nargs=3, action="append", default=[],
                        metavar=("HOST", "PREFIX", "DIR"),
                        help="serve DIR for HOST under PREFIX (repeatable)")
    return parser.parse_args()


def main():
    arguments = parse_arguments()
    os.makedirs(arguments.state, exist_ok=True)
    mounts = []
    for host, prefix, directory in arguments.mount:
        for mount in mounts:
            if mount[0] == host and mount[1] == prefix:
                mount[2].append(directory)
                break
        else:
            mounts.append((host, prefix, [directory]))

    service = Service(arguments.state, mounts)
    server = Server(("::1", 0), ProxyHandler)
    server.service = service
    threading.Thread(target=server.serve_forever, daemon=True).start()

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()

    # Never outlive the test that started us.
    while sys.stdin.buffer.read(4096):
        pass
    service.stopping.set()
    os._exit(0)


if __name__ == "__main__":
    main()
