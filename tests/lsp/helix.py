"""The languages.toml of doc/editors.md for Helix, read as Helix reads it, and its server started
as Helix starts it: the command looked up on the PATH with its args, and a session of initialize
(with the position encodings Helix offers), a document opened under the language's name, its
diagnostics; the file UNFORMATTED opened and saved, which auto-format formats first as Helix
does (textDocument/formatting, its edits applied in bytes), to the layout that KESSA_FORMAT
writes; and shutdown and exit without params, which must end the server with status 0.

    helix.py LANGUAGES_TOML UNFORMATTED

Helix is not packaged for Debian 12, so this stands in for it; see client-test.sh.
"""

import json
import os
import shutil
import subprocess
import sys
import tomllib


def fail(problem):
    print(f"FAILED: {problem}")
    sys.exit(1)


def send(server, message):
    body = json.dumps({"jsonrpc": "2.0", **message}).encode()
    server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
    server.stdin.flush()


def receive(server):
    length = None
    while True:
        line = server.stdout.readline()
        if not line:
            fail("the server closed its output")
        if line == b"\r\n":
            break
        name, _, value = line.decode().partition(":")
        if name.lower() == "content-length":
            length = int(value)
    return json.loads(server.stdout.read(length))


def main():
    with open(sys.argv[1], "rb") as file:
        config = tomllib.load(file)
    servers = config.get("language-server", {})
    languages = [l for l in config.get("language", []) if "kessa" in l.get("file-types", [])]
    if len(languages) != 1:
        fail("no single [[language]] takes the file type kessa")
    language = languages[0]
    for key in ("name", "scope"):
        if not isinstance(language.get(key), str):
            fail(f"the language has no {key}")
    if not isinstance(language.get("roots", []), list):
        fail("roots must be a list")
    names = language.get("language-servers", [])
    if not names or not all(name in servers for name in names):
        fail("each of language-servers must be a [language-server.NAME] table")
    for name in names:
        entry = servers[name]
        program = shutil.which(entry.get("command", ""))
        if program is None:
            fail(f"the command of {name} is not on the PATH")
        server = subprocess.Popen([program, *entry.get("args", [])], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE)
        send(server, {"id": 0, "method": "initialize", "params": {
            "processId": os.getpid(), "rootUri": None,
            "capabilities": {"general": {"positionEncodings": ["utf-8", "utf-32", "utf-16"]}}}})
        reply = receive(server)
        encoding = reply.get("result", {}).get("capabilities", {}).get("positionEncoding")
        if encoding != "utf-8":
            fail(f"initialize: {reply}")
        send(server, {"method": "initialized", "params": {}})
        send(server, {"method": "textDocument/didOpen", "params": {"textDocument": {
            "uri": "file:///tmp/conf.kessa", "languageId": language["name"], "version": 0,
            "text": 'zip="01234"\n'}}})
        published = receive(server)
        codes = [d.get("code") for d in published.get("params", {}).get("diagnostics", [])]
        if codes != ["leading-zeros"]:
            fail(f"the diagnostics: {published}")
        if not language.get("auto-format"):
            fail("the language does not format as a file is saved (auto-format)")
        if reply["result"]["capabilities"].get("documentFormattingProvider") is not True:
            fail("the server does not say it formats")
        with open(sys.argv[2], "rb") as file:
            text = file.read()
        send(server, {"method": "textDocument/didOpen", "params": {"textDocument": {
            "uri": "file:///tmp/unformatted.kessa", "languageId": language["name"],
            "version": 0, "text": text.decode()}}})
        send(server, {"id": 2, "method": "textDocument/formatting", "params": {
            "textDocument": {"uri": "file:///tmp/unformatted.kessa"},
            "options": {"tabSize": 2, "insertSpaces": True}}})
        edits = next(m for m in iter(lambda: receive(server), None) if m.get("id") == 2)["result"]
        lines = text.split(b"\n")
        starts = [0]
        for line in lines[:-1]:
            starts.append(starts[-1] + len(line) + 1)
        def offset(position):
            return starts[position["line"]] + position["character"]
        for edit in reversed(edits):
            begin, end = offset(edit["range"]["start"]), offset(edit["range"]["end"])
            text = text[:begin] + edit["newText"].encode() + text[end:]
        layout = subprocess.run([os.environ["KESSA_FORMAT"], sys.argv[2]], check=True,
                                stdout=subprocess.PIPE).stdout
        if text != layout:
            fail(f"auto-format made {text!r}, not {layout!r}")
        send(server, {"id": 1, "method": "shutdown"})
        reply = receive(server)
        if "error" in reply:
            fail(f"shutdown: {reply}")
        send(server, {"method": "exit"})
        server.stdin.close()
        status = server.wait()
        if status != 0:
            fail(f"the server ended with status {status}")
        print(f"Helix's languages.toml starts {program}: diagnostics, formatting on save, "
              "shutdown and exit, status 0")


main()
