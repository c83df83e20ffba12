"""Tests of tools/local-bucket over loopback: addressing, signatures, errors, faults, recording."""

import base64
import email.utils
import hashlib
import hmac
import http.client
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

SCRIPT = os.environ.get("LOCAL_BUCKET",
                        os.path.join(os.path.dirname(__file__), "..", "..", "tools", "local-bucket"))
MAKE_CERTIFICATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                                 "make-test-certificates")
KEY_ID = "test-id"
SECRET = "test-secret"
DIGITS = b"123456789"
DIGITS_CRC64 = "11051210869376104954"  # CRC-64/XZ check value 0x995DC9BBDF1939FA


def sign(method, resource, date, headers=None, secret=SECRET):
    headers = headers or {}
    oss = sorted((k.lower().strip(), v.strip()) for k, v in headers.items()
                 if k.lower().strip().startswith("x-oss-"))
    text = "%s\n%s\n%s\n%s\n%s%s" % (method, headers.get("Content-MD5", ""),
                                     headers.get("Content-Type", ""), date,
                                     "".join("%s:%s\n" % kv for kv in oss), resource)
    return base64.b64encode(hmac.new(secret.encode(), text.encode(), hashlib.sha1).digest()).decode()


class LocalBucketTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        os.makedirs(os.path.join(self.root, "rxpublish", "pkg"))
        with open(os.path.join(self.root, "rxpublish", "pkg", "digits.txt"), "wb") as f:
            f.write(DIGITS)
        with open(os.path.join(self.root, "secret.txt"), "wb") as f:
            f.write(b"outside any bucket")
        self.big = os.urandom(300 * 1024)
        with open(os.path.join(self.root, "rxpublish", "big.bin"), "wb") as f:
            f.write(self.big)
        self.proc = subprocess.Popen(
            [sys.executable, SCRIPT, "--root", self.root, "--account", KEY_ID + ":" + SECRET,
             "--quiet"], stdout=subprocess.PIPE)
        self.port = int(self.proc.stdout.readline())
        self.conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)

    def tearDown(self):
        self.conn.close()
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(10)
        self.proc.stdout.close()
        self.tmp.cleanup()

    def control(self, method, path, body=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request(method, path, body=json.dumps(body) if body is not None else None)
        answer = conn.getresponse()
        data = answer.read()
        conn.close()
        self.assertEqual(answer.status, 200, data)
        return data

    def faults(self, rules):
        self.control("POST", "/_local/faults", rules)

    def recorded(self):
        return json.loads(self.control("GET", "/_local/requests"))

    def request(self, method, path, resource, host=None, headers=None, secret=SECRET,
                date=None, conn=None):
        headers = dict(headers or {})
        headers["Date"] = date or email.utils.formatdate(usegmt=True)
        headers["Authorization"] = "OSS %s:%s" % (KEY_ID, sign(method, resource, headers["Date"],
                                                                headers, secret))
        if host:
            headers["Host"] = host
        conn = conn or self.conn
        conn.request(method, path, headers=headers)
        answer = conn.getresponse()
        return answer, answer.read()

    def test_serves_path_and_virtual_host_styles_with_object_headers(self):
        answer, body = self.request("GET", "/rxpublish/pkg%2Fdigits.txt",
                                    "/rxpublish/pkg/digits.txt")
        self.assertEqual((answer.status, body), (200, DIGITS))
        self.assertEqual(answer.getheader("x-oss-hash-crc64ecma"), DIGITS_CRC64)
        self.assertEqual(answer.getheader("ETag"), '"%s"' % hashlib.md5(DIGITS).hexdigest().upper())
        self.assertEqual(len(answer.getheader("x-oss-request-id")), 24)
        answer, body = self.request("GET", "/pkg/digits.txt", "/rxpublish/pkg/digits.txt",
                                    host="rxpublish.localhost:%d" % self.port)
        self.assertEqual((answer.status, body), (200, DIGITS))
        answer, body = self.request("HEAD", "/rxpublish/pkg/digits.txt?objectMeta",
                                    "/rxpublish/pkg/digits.txt?objectMeta")
        self.assertEqual((answer.status, body, answer.getheader("Content-Length")), (200, b"", "9"))

    def test_ranges(self):
        cases = [("bytes=2-4", 206, b"345"), ("bytes=6-", 206, b"789"), ("bytes=-2", 206, b"89"),
                 ("bytes=5-100", 206, b"6789"), ("bytes=4-2", 200, DIGITS)]
        for text, status, expected in cases:
            answer, body = self.request("GET", "/rxpublish/pkg/digits.txt",
                                        "/rxpublish/pkg/digits.txt", headers={"Range": text})
            self.assertEqual((answer.status, body), (status, expected), text)
            # The whole object's CRC-64 also on ranged answers.
            self.assertEqual(answer.getheader("x-oss-hash-crc64ecma"), DIGITS_CRC64)
        answer, body = self.request("GET", "/rxpublish/pkg/digits.txt",
                                    "/rxpublish/pkg/digits.txt", headers={"Range": "bytes=9-"})
        self.assertEqual(answer.status, 416)
        self.assertIn(b"<Code>InvalidRange</Code>", body)

    def test_signature_checks(self):
        path, resource = "/rxpublish/pkg/digits.txt", "/rxpublish/pkg/digits.txt"
        answer, body = self.request("GET", path, resource, secret="wrong")
        self.assertEqual(answer.status, 403)
        self.assertIn(b"<Code>SignatureDoesNotMatch</Code>", body)
        self.assertIn(b"<StringToSign>GET\n\n\n", body)
        # x-oss- headers are signed lower-cased and trimmed; unsigned parameters are left out.
        answer, _ = self.request("GET", path + "?versionId=7&foo=bar", resource + "?versionId=7",
                                 headers={"X-OSS-Meta-Note": " a b ", "Content-Type": "text/x"})
        self.assertEqual(answer.status, 200)
        answer, _ = self.request("GET", path + "?versionId=7", resource)
        self.assertEqual(answer.status, 403)
        self.conn.request("GET", path)
        answer = self.conn.getresponse()
        self.assertIn(b"<Code>AccessDenied</Code>", answer.read())
        self.conn.request("GET", path, headers={"Authorization": "OSS nobody:x",
                                                "Date": email.utils.formatdate(usegmt=True)})
        answer = self.conn.getresponse()
        self.assertIn(b"<Code>InvalidAccessKeyId</Code>", answer.read())

    def test_clock_skew_is_refused_with_server_time(self):
        self.control("POST", "/_local/clock", {"offset": -86400 * 366})
        answer, body = self.request("GET", "/rxpublish/pkg/digits.txt",
                                    "/rxpublish/pkg/digits.txt")
        self.assertEqual(answer.status, 403)
        self.assertIn(b"<Code>RequestTimeTooSkewed</Code>", body)
        server_time = time.gmtime(time.time() - 86400 * 366)
        self.assertIn(("<ServerTime>%s" % time.strftime("%Y-%m-%dT%H", server_time)).encode(), body)
        self.faults({"skewed": True, "server_time": "2020-01-01T00:00:00.000Z"})
        answer, body = self.request("GET", "/rxpublish/pkg/digits.txt",
                                    "/rxpublish/pkg/digits.txt")
        self.assertEqual(answer.status, 403)
        self.assertIn(b"<ServerTime>2020-01-01T00:00:00.000Z</ServerTime>", body)
        date = email.utils.formatdate(time.time() - 86400 * 366, usegmt=True)
        answer, _ = self.request("GET", "/rxpublish/pkg/digits.txt", "/rxpublish/pkg/digits.txt",
                                 date=date)
        self.assertEqual(answer.status, 200)

    def test_missing_objects_and_unsafe_keys(self):
        answer, body = self.request("GET", "/rxpublish/nothing", "/rxpublish/nothing")
        self.assertEqual(answer.status, 404)
        self.assertIn(b"<Code>NoSuchKey</Code>", body)
        self.assertIn(("<RequestId>%s</RequestId>" % answer.getheader("x-oss-request-id")).encode(),
                      body)
        answer, body = self.request("HEAD", "/rxpublish/nothing?objectMeta",
                                    "/rxpublish/nothing?objectMeta")
        self.assertEqual((answer.status, body), (404, b""))
        answer, body = self.request("GET", "/nobucket/x", "/nobucket/x")
        self.assertIn(b"<Code>NoSuchBucket</Code>", body)
        for key in ("..%2Fsecret.txt", "pkg%2F..%2F..%2Fsecret.txt", "%2Fetc%2Fpasswd"):
            answer, body = self.request("GET", "/rxpublish/" + key,
                                        "/rxpublish/" + key.replace("%2F", "/"))
            self.assertEqual(answer.status, 400, key)
            self.assertNotIn(b"outside", body)

    def test_status_sequence_applies_to_matching_requests_in_order(self):
        self.faults([{"status": 503, "times": 2, "method": "GET"},
                     {"status": 500, "key": "pkg/digits.txt", "code": "Custom", "message": "m"}])
        statuses = []
        for method, path in [("HEAD", "/rxpublish/big.bin"), ("GET", "/rxpublish/big.bin"),
                             ("GET", "/rxpublish/big.bin"), ("GET", "/rxpublish/big.bin"),
                             ("GET", "/rxpublish/pkg/digits.txt"),
                             ("GET", "/rxpublish/pkg/digits.txt")]:
            answer, body = self.request(method, path, path)
            statuses.append(answer.status)
            if answer.status == 500:
                self.assertIn(b"<Code>Custom</Code>\n  <Message>m</Message>", body)
        self.assertEqual(statuses, [200, 503, 503, 200, 500, 200])

    def test_if_range_and_range_faults(self):
        path = "/rxpublish/pkg/digits.txt"
        answer, _ = self.request("GET", path, path)
        etag, modified = answer.getheader("ETag"), answer.getheader("Last-Modified")
        cases = [(etag, 206, b"789"), (modified, 206, b"789"), ('"0123"', 200, DIGITS),
                 ("W/" + etag, 200, DIGITS), ("Thu, 01 Jan 1970 00:00:00 GMT", 200, DIGITS)]
        for value, status, expected in cases:
            answer, body = self.request("GET", path, path,
                                        headers={"Range": "bytes=6-", "If-Range": value})
            self.assertEqual((answer.status, body), (status, expected), value)

        self.faults([{"ignore_range": True}, {"range_from": 2}])
        answer, body = self.request("GET", path, path, headers={"Range": "bytes=6-"})
        self.assertEqual((answer.status, body), (200, DIGITS))
        answer, body = self.request("GET", path, path, headers={"Range": "bytes=6-"})
        self.assertEqual((answer.status, body, answer.getheader("Content-Range")),
                         (206, DIGITS[2:], "bytes 2-8/9"))

        # The object replaced between two requests: the old ETag no longer holds.
        self.faults({"replace_object": "new content"})
        answer, body = self.request("GET", path, path,
                                    headers={"Range": "bytes=6-", "If-Range": etag})
        self.assertEqual((answer.status, body), (200, b"new content"))
        self.assertNotEqual(answer.getheader("ETag"), etag)
        answer, body = self.request("GET", path, path)
        self.assertEqual(body, b"new content")

    def test_reset_after_body_bytes(self):
        self.faults({"reset_after": 1000})
        self.conn.request("GET", "/rxpublish/big.bin", headers=self.signed("/rxpublish/big.bin"))
        answer = self.conn.getresponse()
        self.assertEqual(answer.getheader("Content-Length"), str(len(self.big)))
        with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)):
            answer.read()
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        answer, body = self.request("GET", "/rxpublish/big.bin", "/rxpublish/big.bin", conn=conn)
        conn.close()
        self.assertEqual(body, self.big)

    def test_wrong_crc_missing_length_extra_headers_and_stall(self):
        self.faults([{"crc64": "wrong"},
                     {"no_content_length": True, "headers": {"x-oss-meta-color": "red"}},
                     {"stall_after": 10, "stall_seconds": 0.3}])
        answer, body = self.request("GET", "/rxpublish/pkg/digits.txt",
                                    "/rxpublish/pkg/digits.txt")
        self.assertNotEqual(answer.getheader("x-oss-hash-crc64ecma"), DIGITS_CRC64)
        self.assertEqual(body, DIGITS)
        answer, body = self.request("GET", "/rxpublish/big.bin", "/rxpublish/big.bin")
        self.assertIsNone(answer.getheader("Content-Length"))
        self.assertEqual((body, answer.getheader("x-oss-meta-color")), (self.big, "red"))
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        started = time.monotonic()
        answer, body = self.request("GET", "/rxpublish/big.bin", "/rxpublish/big.bin", conn=conn)
        conn.close()
        self.assertEqual(body, self.big)
        self.assertGreaterEqual(time.monotonic() - started, 0.3)

    def test_close_without_answer(self):
        self.faults({"close": True})
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError)):
            self.request("GET", "/rxpublish/big.bin", "/rxpublish/big.bin")

    def test_records_requests_with_connection_numbers(self):
        self.request("GET", "/rxpublish/pkg%2Fdigits.txt?versionId=1",
                     "/rxpublish/pkg/digits.txt?versionId=1", headers={"x-oss-Meta-A": "1"})
        self.request("HEAD", "/rxpublish/pkg/digits.txt?objectMeta",
                     "/rxpublish/pkg/digits.txt?objectMeta")
        first, second = self.recorded()
        self.assertEqual((first["method"], first["path"], first["query"], first["status"]),
                         ("GET", "/rxpublish/pkg%2Fdigits.txt", "versionId=1", 200))
        self.assertIn(["x-oss-Meta-A", "1"], first["headers"])
        self.assertEqual((second["method"], second["query"]), ("HEAD", "objectMeta"))
        self.assertEqual(first["connection"], second["connection"])  # kept alive
        self.assertLessEqual(first["elapsed"], second["elapsed"])
        text = self.control("GET", "/_local/requests?format=text").decode()
        self.assertTrue(text.startswith("request 1 "))
        self.assertIn("\nmethod GET\npath /rxpublish/pkg%2Fdigits.txt\nquery versionId=1\n", text)
        self.assertIn("\nheader x-oss-Meta-A: 1\n", text)
        self.control("DELETE", "/_local/requests")
        self.assertEqual(self.recorded(), [])

    def signed(self, resource):
        date = email.utils.formatdate(usegmt=True)
        return {"Date": date, "Authorization": "OSS %s:%s" % (KEY_ID, sign("GET", resource, date))}


class TlsTest(unittest.TestCase):
    """--tls-cert/--tls-key: HTTPS only; a client that refuses the certificate costs one
    connection and nothing else."""

    def test_serves_https_and_survives_refused_handshakes(self):
        with tempfile.TemporaryDirectory() as root:
            certs = os.path.join(root, "certs")
            subprocess.run(["bash", MAKE_CERTIFICATES, certs], check=True, timeout=60)
            os.makedirs(os.path.join(root, "data", "rxpublish"))
            with open(os.path.join(root, "data", "rxpublish", "digits.txt"), "wb") as f:
                f.write(DIGITS)
            server = subprocess.Popen(
                [sys.executable, SCRIPT, "--root", os.path.join(root, "data"), "--anonymous",
                 "--tls-cert", os.path.join(certs, "expired.crt"),
                 "--tls-key", os.path.join(certs, "server.key"), "--quiet"],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                port = int(server.stdout.readline())
                trusting = ssl.create_default_context(cafile=os.path.join(certs, "ca.crt"))
                # A verifying client refuses the expired certificate, twice, and a plain-HTTP
                # client gets no answer ...
                for _ in range(2):
                    with self.assertRaises(ssl.SSLCertVerificationError):
                        conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=10,
                                                           context=trusting)
                        conn.request("GET", "/rxpublish/digits.txt")
                plain = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
                with self.assertRaises((http.client.HTTPException, OSError)):
                    plain.request("GET", "/rxpublish/digits.txt")
                    plain.getresponse()
                plain.close()
                # ... while the server goes on serving, keep-alive included.
                lenient = ssl.create_default_context(cafile=os.path.join(certs, "ca.crt"))
                lenient.check_hostname = False
                lenient.verify_mode = ssl.CERT_NONE
                conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=10, context=lenient)
                for _ in range(2):
                    conn.request("GET", "/rxpublish/digits.txt")
                    answer = conn.getresponse()
                    self.assertEqual((answer.status, answer.read()), (200, DIGITS))
                conn.request("GET", "/_local/requests")
                recorded = json.loads(conn.getresponse().read())
                conn.close()
                self.assertEqual([r["connection"] for r in recorded], [1, 1])
            finally:
                server.send_signal(signal.SIGTERM)
                server.wait(10)
                server.stdout.close()
                self.assertEqual(server.stderr.read(), b"")
                server.stderr.close()


class ParentWatchTest(unittest.TestCase):
    def test_stops_when_its_parent_goes_away(self):
        with tempfile.TemporaryDirectory() as root:
            launcher = ("import subprocess, sys\n"
                        "p = subprocess.Popen([sys.executable, %r, '--root', %r, '--anonymous'],"
                        " stdout=subprocess.PIPE)\n"
                        "print(p.pid, int(p.stdout.readline()), flush=True)\n" % (SCRIPT, root))
            out = subprocess.run([sys.executable, "-c", launcher], capture_output=True, timeout=30)
            pid, port = map(int, out.stdout.split())
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                try:
                    os.kill(pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
            else:
                os.kill(pid, signal.SIGKILL)
                self.fail("local-bucket outlived its parent")
            with self.assertRaises(OSError):
                socket.create_connection(("127.0.0.1", port), timeout=2).close()


class WatchPidTest(unittest.TestCase):
    def test_port_file_and_watched_process(self):
        with tempfile.TemporaryDirectory() as root:
            watched = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(60)"])
            port_file = os.path.join(root, "port")
            server = subprocess.Popen(
                [sys.executable, SCRIPT, "--root", os.path.join(root, "data"), "--anonymous",
                 "--port-file", port_file, "--watch-pid", str(watched.pid), "--quiet"],
                stdout=subprocess.PIPE)
            try:
                port = int(server.stdout.readline())
                with open(port_file) as f:
                    self.assertEqual(int(f.read()), port)
                watched.kill()
                watched.wait()
                self.assertEqual(server.wait(10), 0)
            finally:
                if server.poll() is None:
                    server.kill()
                    server.wait()
                server.stdout.close()


if __name__ == "__main__":
    unittest.main()
