#!/usr/bin/python3
"""The test run's own OAuth 2.0 authorization server, standing in for
Microsoft's sign-in service: the authorization code grant with PKCE (S256
only) returning to a loopback redirect, refresh with strict rotation, the
device code grant, and token introspection for Dovecot's oauth2 passdb. It is
as strict as Microsoft or stricter, so that a client that works here does
not lean on leniency the real service lacks.

Run it with /usr/bin/python3: it needs Debian's python3-oauthlib.

  authorization_server.py serve STATE CERTS ADDRESS PORT [--expires-in SECONDS]
      Serves HTTPS in the foreground with CERTS/auth.crt and auth.key (a folder
      made by test-certs), logging to STATE/server.log.
  authorization_server.py start STATE CERTS ADDRESS PORT [--expires-in SECONDS]
      The same in the background; returns once it listens. STATE is emptied
      first and gets the server's URL, its pid, the test CA (ca.crt) and the
      stand-in browser's folder (browser/, with the CA beside its mode file).
  authorization_server.py stop STATE
      Ends a server started with start; its log stays.
  authorization_server.py hook STATE NAME [KEY=VALUE...]
      Calls a test hook of the running server and prints its JSON reply's
      members as KEY=VALUE lines; fails unless the server answered 200.

Endpoints: GET /authorize, POST /token, POST /devicecode, GET and POST
/device (the page where the user enters a device's code), POST /introspect
(RFC 7662, client_secret_post or client_secret_basic for client `dovecot`).
Consent is given by the cookie quillo_test_approve=USER and refused by the
cookie quillo_test_deny=1; without either a form asks.

The test hooks (POST /test/NAME with the header X-Quillo-Test: 1):
  expire [token=ACCESS]        access tokens expire (all, or that one)
  revoke [user=U | token=RT]   refresh tokens die (all, a user's, or that one)
  issue user=U [scope=S]       a token pair for U, as if U had signed in
  fail count=N [mode=500|hang] the next N token requests fail or never answer
  config [expires_in=N] [device_interval=N] [device_expires_in=N]
  counters                     refresh_grants, code_grants, device_polls,
                               last_refresh_token
"""

import base64
import html
import http.server
import json
import os
import secrets
import shutil
import signal
import socket
import ssl
import string
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

from oauthlib.common import Request
from oauthlib.oauth2 import (AuthorizationEndpoint, BearerToken, IntrospectEndpoint, RequestValidator,
                             TokenEndpoint)
from oauthlib.oauth2.rfc6749 import errors
from oauthlib.oauth2.rfc6749.grant_types import AuthorizationCodeGrant, RefreshTokenGrant
from oauthlib.oauth2.rfc6749.grant_types.base import GrantTypeBase

CLIENT_ID = "quillo-test-client"
INTROSPECTION_CLIENT = ("dovecot", "dovecot-secret")
# Microsoft's names, so that a client's scope string carries over unchanged.
SCOPES = {
    "https://outlook.office.com/IMAP.AccessAsUser.All",
    "https://outlook.office.com/POP.AccessAsUser.All",
    "https://outlook.office.com/SMTP.Send",
    "offline_access",
}
DEFAULT_SCOPE = ("https://outlook.office.com/IMAP.AccessAsUser.All "
                 "https://outlook.office.com/POP.AccessAsUser.All offline_access")
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"
# About as long as Microsoft's, so that a client meets the line lengths it
# will meet there (a SASL response of some 2.5 KB).
ACCESS_TOKEN_LENGTH = 1800
REFRESH_TOKEN_LENGTH = 405
TOKEN_ALPHABET = string.ascii_letters + string.digits + "-_."
CODE_LIFETIME = 600
# How long a hanging token request holds its connection before closing it
# unanswered; any client gives up long before.
HANG_SECONDS = 120
# Never a whole token in the log: a test log is read by anyone.
SHOWN = 6


def random_text(length):
    return "".join(secrets.choice(TOKEN_ALPHABET) for _ in range(length))


def short(token):
    return (token or "")[:SHOWN] + "..." if token else "-"


def is_loopback_redirect(uri):
    """http://127.0.0.1:PORT/ or http://localhost:PORT/, any port (RFC 8252):
    a desktop client listens where the system lets it."""
    try:
        parts = urllib.parse.urlsplit(uri)
        parts.port  # raises on a port that is no number
    except ValueError:
        return False
    return (parts.scheme == "http" and parts.hostname in ("127.0.0.1", "localhost") and parts.path == "/"
            and not parts.query and not parts.fragment and parts.username is None)


class Store:
    """Everything the server knows, behind one lock: handlers run on threads."""

    def __init__(self, expires_in):
        self.lock = threading.RLock()
        self.expires_in = expires_in
        self.device_interval = 1
        self.device_expires_in = 900
        self.codes = {}
        self.access = {}
        self.refresh = {}
        self.devices = {}
        self.failures = []  # "500" or "hang", one per coming token request
        self.counters = dict(refresh_grants=0, code_grants=0, device_polls=0, last_refresh_token="")

    def new_pair(self, user, scopes, with_refresh):
        with self.lock:
            access = random_text(ACCESS_TOKEN_LENGTH)
            now = time.time()
            self.access[access] = dict(user=user, scopes=list(scopes), iat=int(now), exp=now + self.expires_in)
            pair = dict(access_token=access, token_type="Bearer", expires_in=self.expires_in,
                        scope=" ".join(scopes))
            if with_refresh:
                pair["refresh_token"] = self.new_refresh(user, scopes)
            return pair

    def new_refresh(self, user, scopes):
        refresh = random_text(REFRESH_TOKEN_LENGTH)
        self.refresh[refresh] = dict(user=user, scopes=list(scopes))
        self.counters["last_refresh_token"] = refresh
        return refresh


class Validator(RequestValidator):
    def __init__(self, store, log):
        self.store = store
        self.log = log

    # Clients: one public client, and Dovecot for introspection only.
    def client_authentication_required(self, request, *args, **kwargs):
        return urllib.parse.urlsplit(request.uri).path == "/introspect"

    def authenticate_client(self, request, *args, **kwargs):
        client_id, secret = request.client_id, request.client_secret
        authorization = request.headers.get("Authorization", "")
        if authorization.startswith("Basic "):
            try:
                pair = base64.b64decode(authorization[6:]).decode()
                client_id, secret = (urllib.parse.unquote(part) for part in pair.split(":", 1))
            except ValueError:
                return False
        if (client_id, secret) != INTROSPECTION_CLIENT:
            return False
        request.client = type("Client", (), {"client_id": client_id})()
        return True

    def authenticate_client_id(self, client_id, request, *args, **kwargs):
        if client_id != CLIENT_ID:
            return False
        request.client = type("Client", (), {"client_id": client_id})()
        return True

    def validate_client_id(self, client_id, request, *args, **kwargs):
        return client_id == CLIENT_ID

    # The authorization request.
    def validate_redirect_uri(self, client_id, redirect_uri, request, *args, **kwargs):
        return is_loopback_redirect(redirect_uri)

    def get_default_redirect_uri(self, client_id, request, *args, **kwargs):
        return None

    def validate_response_type(self, client_id, response_type, client, request, *args, **kwargs):
        return response_type == "code"

    def validate_scopes(self, client_id, scopes, client, request, *args, **kwargs):
        return bool(scopes) and all(scope in SCOPES for scope in scopes)

    def get_default_scopes(self, client_id, request, *args, **kwargs):
        return []

    def is_pkce_required(self, client_id, request):
        return True

    def save_authorization_code(self, client_id, code, request, *args, **kwargs):
        with self.store.lock:
            self.store.codes[code["code"]] = dict(user=request.user, scopes=list(request.scopes),
                                                  redirect_uri=request.redirect_uri,
                                                  challenge=request.code_challenge,
                                                  method=request.code_challenge_method,
                                                  exp=time.time() + CODE_LIFETIME)

    # The token request.
    def validate_grant_type(self, client_id, grant_type, client, request, *args, **kwargs):
        return grant_type in ("authorization_code", "refresh_token", DEVICE_GRANT)

    def validate_code(self, client_id, code, client, request, *args, **kwargs):
        with self.store.lock:
            entry = self.store.codes.get(code)
            if entry is None or entry["exp"] < time.time():
                return False
            request.user = entry["user"]
            request.scopes = entry["scopes"]
            return True

    def get_code_challenge(self, code, request):
        entry = self.store.codes.get(code)
        return entry and entry["challenge"]

    def get_code_challenge_method(self, code, request):
        entry = self.store.codes.get(code)
        return entry and entry["method"]

    def confirm_redirect_uri(self, client_id, code, redirect_uri, client, request, *args, **kwargs):
        entry = self.store.codes.get(code)
        return entry is not None and entry["redirect_uri"] == redirect_uri

    def invalidate_authorization_code(self, client_id, code, request, *args, **kwargs):
        with self.store.lock:
            self.store.codes.pop(code, None)

    def validate_refresh_token(self, refresh_token, client, request, *args, **kwargs):
        with self.store.lock:
            entry = self.store.refresh.get(refresh_token)
            if entry is None:
                return False
            request.user = entry["user"]
            return True

    def get_original_scopes(self, refresh_token, request, *args, **kwargs):
        return self.store.refresh[refresh_token]["scopes"]

    def save_bearer_token(self, token, request, *args, **kwargs):
        store = self.store
        with store.lock:
            # Strict rotation: a refresh token serves once.
            if request.grant_type == "refresh_token":
                store.refresh.pop(request.refresh_token, None)
                store.counters["refresh_grants"] += 1
            elif request.grant_type == "authorization_code":
                store.counters["code_grants"] += 1
            now = time.time()
            store.access[token["access_token"]] = dict(user=request.user, scopes=list(request.scopes),
                                                       iat=int(now), exp=now + token["expires_in"])
            # Like Microsoft: no refresh token unless offline_access was asked for.
            refresh = token.pop("refresh_token", None)
            if refresh and "offline_access" in request.scopes:
                token["refresh_token"] = refresh
                store.refresh[refresh] = dict(user=request.user, scopes=list(request.scopes))
                store.counters["last_refresh_token"] = refresh
            self.log(f"grant {request.grant_type} user={request.user} access={short(token['access_token'])} "
                     f"refresh={short(token.get('refresh_token'))} old={short(request.refresh_token)}")

    # Introspection.
    def introspect_token(self, token, token_type_hint, request, *args, **kwargs):
        with self.store.lock:
            entry = self.store.access.get(token)
            if entry is None or entry["exp"] <= time.time():
                return None
            return dict(username=entry["user"], sub=entry["user"], scope=" ".join(entry["scopes"]),
                        client_id=CLIENT_ID, token_type="Bearer", exp=int(entry["exp"]), iat=entry["iat"],
                        iss="https://auth.test/")


class DeviceCodeGrant(GrantTypeBase):
    """The device authorization grant (RFC 8628) on the token endpoint;
    oauthlib has only its client side."""

    def __init__(self, store, log, **kwargs):
        super().__init__(**kwargs)
        self.store = store
        self.log = log

    def create_token_response(self, request, token_handler):
        headers = self._get_default_headers()
        try:
            if not request.client_id or not self.request_validator.authenticate_client_id(request.client_id, request):
                raise errors.InvalidClientError(request=request)
            entry = self.poll(request)
        except errors.OAuth2Error as error:
            headers.update(error.headers)
            return headers, error.json, error.status_code
        request.user = entry["user"]
        request.scopes = entry["scopes"]
        request.grant_type = DEVICE_GRANT
        token = token_handler.create_token(request, refresh_token=True)
        self.request_validator.save_token(token, request)
        return headers, json.dumps(token), 200

    def poll(self, request):
        store = self.store
        with store.lock:
            store.counters["device_polls"] += 1
            entry = store.devices.get(request.device_code or "")
            if entry is None or entry["client_id"] != request.client_id:
                raise errors.InvalidGrantError(request=request)
            now = time.time()
            too_soon = now - entry["last_poll"] < entry["interval"] - 0.02
            entry["last_poll"] = now
            if now > entry["exp"]:
                raise DeviceError("expired_token", request)
            if entry["state"] == "denied":
                del store.devices[request.device_code]
                raise DeviceError("access_denied", request)
            if entry["state"] == "pending":
                if too_soon:
                    entry["interval"] += 5
                    raise DeviceError("slow_down", request)
                raise DeviceError("authorization_pending", request)
            del store.devices[request.device_code]
            return entry


class DeviceError(errors.OAuth2Error):
    status_code = 400

    def __init__(self, error, request):
        self.error = error
        super().__init__(request=request)


class Server:
    def __init__(self, state, expires_in):
        self.state = state
        self.store = Store(expires_in)
        self.log_lock = threading.Lock()
        self.log_file = open(os.path.join(state, "server.log"), "a", buffering=1)
        validator = Validator(self.store, self.log)
        bearer = BearerToken(validator, token_generator=lambda _: random_text(ACCESS_TOKEN_LENGTH),
                             expires_in=lambda _: self.store.expires_in,
                             refresh_token_generator=lambda _: random_text(REFRESH_TOKEN_LENGTH))
        code_grant = AuthorizationCodeGrant(validator)
        # S256 only: "plain" would hand the verifier to whoever sees the address.
        code_grant._code_challenge_methods = {"S256": AuthorizationCodeGrant._code_challenge_methods["S256"]}
        self.authorization = AuthorizationEndpoint("code", bearer, {"code": code_grant})
        self.token = TokenEndpoint("authorization_code", bearer, {
            "authorization_code": code_grant,
            "refresh_token": RefreshTokenGrant(validator),
            DEVICE_GRANT: DeviceCodeGrant(self.store, self.log, request_validator=validator),
        })
        self.introspection = IntrospectEndpoint(validator, supported_token_types=["access_token"])

    def log(self, line):
        with self.log_lock:
            self.log_file.write(time.strftime("%H:%M:%S ") + line + "\n")


class Handler(http.server.BaseHTTPRequestHandler):
    # Without it every reply waits for the client's delayed ACK (some 40 ms).
    disable_nagle_algorithm = True
    protocol_version = "HTTP/1.1"
    server_version = "QuilloTestAuth/1"

    @property
    def rig(self):
        return self.server.rig

    def log_message(self, format, *args):
        pass

    def reply(self, status, body, content_type="application/json", headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)
        self.rig.log(f"{self.command} {self.path.split('?')[0]} -> {status}")

    def reply_oauthlib(self, headers, body, status):
        extra = [(k, v) for k, v in headers.items() if k.lower() not in ("content-type", "content-length")]
        self.reply(status, body or "", headers.get("Content-Type", "application/json"), extra)

    def page(self, status, title, text, extra=""):
        body = (f"<!DOCTYPE html><html><head><title>{html.escape(title)}</title></head>"
                f"<body><h1>{html.escape(title)}</h1><p>{html.escape(text)}</p>{extra}</body></html>")
        self.reply(status, body, "text/html; charset=utf-8")

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length).decode("utf-8", "replace") if length else ""

    def cookies(self):
        jar = {}
        for part in self.headers.get("Cookie", "").split(";"):
            name, _, value = part.strip().partition("=")
            if name:
                jar[name] = urllib.parse.unquote(value)
        return jar

    def query(self):
        return dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(self.path).query, keep_blank_values=True))

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path == "/authorize":
            self.authorize()
        elif path == "/device":
            self.device_page(self.query())
        elif path == "/test/counters" and self.is_test():
            self.test_hook("counters", {})
        else:
            self.page(404, "Not found", path)

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        body = self.body()
        if path == "/token":
            self.token(body)
        elif path == "/devicecode":
            self.device_code(body)
        elif path == "/device":
            self.device_page(dict(urllib.parse.parse_qsl(body)))
        elif path == "/introspect":
            headers, text, status = self.rig.introspection.create_introspect_response(
                self.url(), "POST", body, dict(self.headers))
            active = json.loads(text).get("active") if status == 200 else None
            self.rig.log(f"introspect active={active}")
            self.reply_oauthlib(headers, text, status)
        elif path.startswith("/test/") and self.is_test():
            self.test_hook(path[len("/test/"):], dict(urllib.parse.parse_qsl(body)))
        else:
            self.page(404, "Not found", path)

    def url(self):
        return "https://auth.test" + self.path

    def is_test(self):
        return self.headers.get("X-Quillo-Test") == "1"

    def authorize(self):
        uri = self.url()
        try:
            scopes, credentials = self.rig.authorization.validate_authorization_request(uri, "GET")
        except errors.FatalClientError as error:
            # Never a redirect to an address that is not the client's.
            self.rig.log(f"authorize refused: {error.error}")
            self.page(400, "Sign-in refused", error.description or error.error)
            return
        except errors.OAuth2Error as error:
            self.rig.log(f"authorize refused: {error.error}")
            self.reply(302, "", "text/plain", [("Location", error.in_uri(error.redirect_uri))])
            return
        query = self.query()
        cookies = self.cookies()
        user = cookies.get("quillo_test_approve") or query.get("quillo_user")
        denied = cookies.get("quillo_test_deny") == "1" or query.get("quillo_consent") == "deny"
        if denied:
            self.rig.log("authorize denied")
            target = credentials["redirect_uri"] + "?" + urllib.parse.urlencode(
                {"error": "access_denied", "state": credentials.get("state") or ""})
            self.reply(302, "", "text/plain", [("Location", target)])
        elif user and (cookies.get("quillo_test_approve") or query.get("quillo_consent") == "approve"):
            headers, _, status = self.rig.authorization.create_authorization_response(
                uri, "GET", None, None, scopes, {"user": user})
            self.rig.log(f"authorize approved user={user}")
            self.reply(status, "", "text/plain", [("Location", headers["Location"])])
        else:
            fields = "".join(f'<input type="hidden" name="{html.escape(k)}" value="{html.escape(v)}">'
                             for k, v in query.items() if not k.startswith("quillo_"))
            form = (f'<form method="get" action="/authorize">{fields}'
                    '<p>User: <input name="quillo_user" value=""></p>'
                    '<button name="quillo_consent" value="approve">Approve</button> '
                    '<button name="quillo_consent" value="deny">Deny</button></form>')
            self.page(200, "Quillo test sign-in", "Let Quillo read your mail?", form)

    def token(self, body):
        store = self.rig.store
        with store.lock:
            failure = store.failures.pop(0) if store.failures else None
        if failure == "500":
            self.rig.log("token request failed on purpose")
            self.page(500, "Internal server error", "The test asked for this failure.")
            return
        if failure == "hang":
            self.rig.log("token request left hanging on purpose")
            self.server.stopping.wait(HANG_SECONDS)
            self.close_connection = True
            return
        content_type = {"Content-Type": self.headers.get("Content-Type", "")}
        headers, text, status = self.rig.token.create_token_response(self.url(), "POST", body, content_type)
        if status != 200:
            self.rig.log(f"token refused: {json.loads(text).get('error')}")
        self.reply_oauthlib(headers, text, status)

    def device_code(self, body):
        form = dict(urllib.parse.parse_qsl(body))
        scopes = form.get("scope", "").split()
        if form.get("client_id") != CLIENT_ID:
            self.reply(401, json.dumps({"error": "invalid_client"}))
            return
        if not scopes or any(scope not in SCOPES for scope in scopes):
            self.reply(400, json.dumps({"error": "invalid_scope"}))
            return
        store = self.rig.store
        device_code = random_text(64)
        user_code = "".join(secrets.choice("BCDFGHJKLMNPQRSTVWXZ") for _ in range(8))
        verification = "https://127.0.0.80/device"
        with store.lock:
            store.devices[device_code] = dict(user_code=user_code, client_id=CLIENT_ID, scopes=scopes,
                                              state="pending", user=None, interval=store.device_interval,
                                              last_poll=0.0, exp=time.time() + store.device_expires_in)
            reply = dict(device_code=device_code, user_code=user_code, verification_uri=verification,
                         verification_uri_complete=verification + "?user_code=" + user_code,
                         expires_in=store.device_expires_in, interval=store.device_interval,
                         message=f"To sign in, open {verification} and enter the code {user_code}.")
        self.rig.log(f"device code issued user_code={user_code}")
        self.reply(200, json.dumps(reply))

    def device_page(self, fields):
        code = fields.get("user_code", "")
        cookies = self.cookies()
        user = cookies.get("quillo_test_approve") or fields.get("quillo_user")
        decision = ("deny" if cookies.get("quillo_test_deny") == "1" else
                    "approve" if cookies.get("quillo_test_approve") else fields.get("quillo_consent"))
        store = self.rig.store
        with store.lock:
            entry = next((e for e in store.devices.values() if e["user_code"] == code and e["state"] == "pending"),
                         None)
            if entry is not None and decision == "deny":
                entry["state"] = "denied"
            elif entry is not None and decision == "approve" and user:
                entry["state"] = "approved"
                entry["user"] = user
            else:
                decision = None
        if decision:
            self.rig.log(f"device code {code} {decision}d")
            self.page(200, "Done", f"Device sign-in {decision}d. You may close this window.")
        elif code and entry is None:
            self.page(400, "Unknown code", "That code is not waiting for a sign-in.")
        else:
            form = ('<form method="post" action="/device"><p>Code: '
                    f'<input name="user_code" value="{html.escape(code)}"></p>'
                    '<p>User: <input name="quillo_user" value=""></p>'
                    '<button name="quillo_consent" value="approve">Approve</button> '
                    '<button name="quillo_consent" value="deny">Deny</button></form>')
            self.page(200, "Quillo test device sign-in", "Enter the code shown on your device.", form)

    def test_hook(self, name, fields):
        store = self.rig.store
        reply = {}
        with store.lock:
            if name == "expire":
                token = fields.get("token")
                for key, entry in store.access.items():
                    if token is None or key == token:
                        entry["exp"] = 0
            elif name == "revoke":
                token, user = fields.get("token"), fields.get("user")
                for key in [k for k, e in store.refresh.items()
                            if (token is None or k == token) and (user is None or e["user"] == user)]:
                    del store.refresh[key]
            elif name == "issue" and fields.get("user"):
                scopes = fields.get("scope", DEFAULT_SCOPE).split()
                reply = store.new_pair(fields["user"], scopes, "offline_access" in scopes)
            elif name == "fail" and fields.get("mode", "500") in ("500", "hang"):
                store.failures = [fields.get("mode", "500")] * int(fields.get("count", "1"))
            elif name == "config":
                for key in ("expires_in", "device_interval", "device_expires_in"):
                    if key in fields:
                        setattr(store, key, int(fields[key]))
            elif name == "counters":
                reply = dict(store.counters)
            else:
                self.page(404, "No such hook", name)
                return
        self.rig.log(f"test hook {name} {' '.join(k for k in fields)}")
        self.reply(200, json.dumps(reply))


class HttpsServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, context, rig):
        self.context = context
        self.rig = rig
        self.stopping = threading.Event()
        super().__init__(address, Handler)

    def get_request(self):
        sock, address = super().get_request()
        # The handshake belongs to the handler's thread: done here, one slow
        # client would hold up every other.
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address

    def handle_error(self, request, client_address):
        self.rig.log(f"connection from {client_address[0]} ended: {sys.exc_info()[1]!r}")


def serve(state, certs, address, port, expires_in):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certs, "auth.crt"), os.path.join(certs, "auth.key"))
    rig = Server(state, expires_in)
    server = HttpsServer((address, port), context, rig)

    def stop(*_):
        server.stopping.set()
        threading.Thread(target=server.shutdown).start()

    signal.signal(signal.SIGTERM, stop)
    rig.log(f"listening on {address}:{port}")
    with open(os.path.join(state, "url.part"), "w") as url:
        url.write(f"https://{address}:{port}\n")
    os.replace(os.path.join(state, "url.part"), os.path.join(state, "url"))
    # A short poll, since a stop waits for it.
    server.serve_forever(poll_interval=0.1)
    rig.log("stopped")


def pid_alive(pid):
    """Whether the server still runs. Once its starter has gone, nobody but
    init waits for it, and its exit shows as a zombie until init gets to it."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def stop(state):
    pid_file = os.path.join(state, "pid")
    if not os.path.exists(pid_file):
        return 0
    pid = int(open(pid_file).read())
    if pid_alive(pid):
        os.kill(pid, signal.SIGTERM)
        for _ in range(200):
            if not pid_alive(pid):
                break
            time.sleep(0.05)
        else:
            os.kill(pid, signal.SIGKILL)
    os.remove(pid_file)
    return 0


def start(state, arguments):
    stop(state)
    shutil.rmtree(state, ignore_errors=True)
    os.makedirs(os.path.join(state, "browser"))
    certs = arguments[0]
    for folder in (state, os.path.join(state, "browser")):
        shutil.copy(os.path.join(certs, "ca.crt"), folder)
    with open(os.path.join(state, "server.out"), "w") as out:
        process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state] + arguments,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out, start_new_session=True)
    with open(os.path.join(state, "pid"), "w") as pid:
        pid.write(f"{process.pid}\n")
    for _ in range(200):
        if os.path.exists(os.path.join(state, "url")):
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    sys.stderr.write("authorization_server: did not start\n" + open(os.path.join(state, "server.out")).read())
    stop(state)
    return 1


def hook(state, name, pairs):
    base = open(os.path.join(state, "url")).read().strip()
    # The server's certificate names its address as well as auth.test.
    context = ssl.create_default_context(cafile=os.path.join(state, "ca.crt"))
    # Values come form-encoded ("+" for a space), so that one fits in an argument.
    fields = {key: urllib.parse.unquote_plus(value) for key, value in (pair.split("=", 1) for pair in pairs)}
    data = urllib.parse.urlencode(fields).encode()
    request = urllib.request.Request(base + "/test/" + name, data=data, headers={"X-Quillo-Test": "1"})
    try:
        with urllib.request.urlopen(request, context=context, timeout=30) as response:
            reply = json.load(response)
    except (OSError, ValueError) as error:
        sys.stderr.write(f"authorization_server: hook {name} failed: {error}\n")
        return 1
    for key, value in reply.items():
        print(f"{key}={value}")
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "stop":
        return stop(argv[2])
    if len(argv) >= 4 and argv[1] == "hook":
        return hook(argv[2], argv[3], argv[4:])
    if len(argv) in (6, 8) and argv[1] in ("serve", "start"):
        if argv[1] == "start":
            return start(os.path.abspath(argv[2]), argv[3:])
        expires_in = int(argv[7]) if len(argv) == 8 and argv[6] == "--expires-in" else 3600
        serve(argv[2], argv[3], argv[4], int(argv[5]), expires_in)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
