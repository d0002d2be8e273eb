#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""cardomine-tool sync against real servers: Radicale on a free loopback port with its
storage in a temporary folder, and vdirsyncer pairing the vCard folder with it. The
vdirsyncer configuration and the systemd user unit are the README's, word for word, with
only the server's address and the password's source changed; the unit's steps are run as
systemd runs a oneshot service.

    sync.py CARDOMINE_TOOL MAKE_CARD_FILE

Exit status 0 on success, 77 when Radicale or vdirsyncer is missing (1 under CI=true).
Nothing outside the temporary folder is read or written: HOME and the XDG folders
point into it.
"""

import http.client
import fcntl
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

WIDTHS = [("FirstName", 10), ("LastName", 20), ("Company", 40), ("Address", 50),
          ("City", 30), ("State", 2), ("Zip", 5), ("ContactID", 6), ("HomePhone", 12),
          ("WorkPhone", 12), ("PagerMobile", 12), ("FaxOrEmail", 30), ("DataType", 20)]
RECORD = sum(w for _, w in WIDTHS)
README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


def skip(reason):
    if os.environ.get("CI") == "true":
        print("FAIL: " + reason, file=sys.stderr)
        sys.exit(1)
    print("SKIP: " + reason)
    sys.exit(77)


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


# The README's text: the indented block that follows the line holding HEADING, and the
# command quoted in backticks that begins with START.
def readme_block(heading):
    with open(README, encoding="utf-8") as f:
        lines = f.read().splitlines()
    at = [n for n, line in enumerate(lines) if heading in line]
    check(len(at) == 1, "the README has %d lines with %r" % (len(at), heading))
    n = at[0] + 1
    while n < len(lines) and not lines[n].startswith("    "):
        n += 1
    block = []
    while n < len(lines) and (lines[n].startswith("    ") or not lines[n].strip()):
        block.append(lines[n][4:])
        n += 1
    return "\n".join(block).strip() + "\n"


def readme_command(start):
    with open(README, encoding="utf-8") as f:
        found = re.findall("`(" + re.escape(start) + "[^`]*)`", f.read().replace("\n", " "))
    check(len(found) >= 1, "the README has no command %r" % start)
    return found[0]


def replaced(text, old, new):
    check(old in text, "the README's block no longer holds %r" % old)
    return text.replace(old, new)


def record(**fields):
    out = b""
    for name, width in WIDTHS:
        value = fields.get(name, "").encode("cp1252")[:width]
        out += value + b" " * (width - len(value))
    assert len(out) == RECORD
    return out


class Sandbox:
    def __init__(self, tool, make_card_file):
        self.tool = tool
        self.make_card_file = make_card_file
        self.root = tempfile.mkdtemp(prefix="cardomine-sync-e2e.")
        self.drive = os.path.join(self.root, "drive_c")
        self.data = os.path.join(self.drive, "Program Files", "Pelvarin")
        self.storage = os.path.join(self.root, "radicale")
        self.env = dict(os.environ)
        # The default folders under a home of its own, so the README's ~ paths hold.
        self.home = os.path.join(self.root, "home")
        for name, folder in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"),
                             ("XDG_DATA_HOME", ".local/share"), ("XDG_CACHE_HOME", ".cache"),
                             ("XDG_STATE_HOME", ".local/state")):
            self.env[name] = os.path.join(self.home, folder)
            os.makedirs(self.env[name], exist_ok=True)
        self.env["XDG_RUNTIME_DIR"] = os.path.join(self.root, "runtime")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        self.env.pop("VDIRSYNCER_CONFIG", None)
        self.vdir = os.path.join(self.home, ".local", "share", "contacts", "cardomine")
        self.env["CARDOMINE_DRIVE_C"] = self.drive
        self.env["RADICALE_CONFIG"] = ""
        self.env["http_proxy"] = self.env["https_proxy"] = ""
        self.env["no_proxy"] = "127.0.0.1"
        self.radicale = None
        os.makedirs(self.drive)

    # The card file, made and sealed by the store's own code.
    def write_card_file(self):
        result = subprocess.run([self.make_card_file], env=self.env, capture_output=True,
                                text=True, timeout=60)
        check(result.returncode == 0, "making the card file failed: " + result.stderr)

    def notes_path(self, number):
        return os.path.join(self.data, "Contact Notes", "%d.txt" % number)

    def record(self, number):
        with open(os.path.join(self.data, "Cardomine.Dat"), "rb") as f:
            f.seek((number - 1) * RECORD)
            return f.read(RECORD)

    # An edit in the card file, stored as Edit / Save Edit stores it.
    def set_field(self, number, field, text):
        result = subprocess.run([self.make_card_file, "set", str(number), str(field), text],
                                env=self.env, capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, "the edit failed: " + result.stderr)

    def notes(self, number):
        try:
            with open(self.notes_path(number), "rb") as f:
                return f.read().decode("cp1252")
        except FileNotFoundError:
            return ""

    def count(self):
        with open(os.path.join(self.data, "Index.tbl"), "rb") as f:
            for line in f.read().split(b"\r\n"):
                if line.startswith(b"Num_Of_Records="):
                    return int(line[15:])
        fail("the index has no count")

    # The programs.
    def start_radicale(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        config = os.path.join(self.root, "radicale.conf")
        with open(config, "w") as f:
            f.write("[server]\nhosts = 127.0.0.1:%d\n[auth]\ntype = none\n"
                    "[rights]\ntype = owner_only\n"
                    "[storage]\nfilesystem_folder = %s\n[logging]\nlevel = warning\n"
                    % (self.port, self.storage))
        self.radicale = subprocess.Popen(
            ["/usr/bin/python3", "-m", "radicale", "--config", config], env=self.env,
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "radicale.log"), "w"))
        for _ in range(100):
            if self.radicale.poll() is not None:
                fail("Radicale stopped at once:\n" + open(os.path.join(self.root,
                                                                       "radicale.log")).read())
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.1)
        fail("Radicale did not answer on port %d" % self.port)

    def stop_radicale(self):
        if self.radicale and self.radicale.poll() is None:
            self.radicale.send_signal(signal.SIGTERM)
            try:
                self.radicale.wait(10)
            except subprocess.TimeoutExpired:
                self.radicale.kill()
                self.radicale.wait()

    def http(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        all_headers = {"Authorization": "Basic dXNlcjp4"}  # user:x
        all_headers.update(headers or {})
        connection.request(method, path, body=body, headers=all_headers)
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response.status, data

    def make_address_book(self):
        body = ('<?xml version="1.0" encoding="UTF-8"?>'
                '<mkcol xmlns="DAV:" xmlns:CR="urn:ietf:params:xml:ns:carddav"><set><prop>'
                '<resourcetype><collection/><CR:addressbook/></resourcetype>'
                '<displayname>Contacts</displayname></prop></set></mkcol>')
        status, data = self.http("MKCOL", "/user/contacts/", body,
                                 {"Content-Type": "application/xml"})
        check(status == 201, "MKCOL answered %d: %r" % (status, data))
        self.collection = os.path.join(self.storage, "collection-root", "user", "contacts")
        # The README's set-up: its folders, its password file, its configuration.
        self.shell(readme_command("mkdir -p ~/.local/share/contacts/cardomine"))
        self.shell("mkdir -p ~/.config/vdirsyncer && "
                   + readme_command("install -m 600 /dev/null ~/.config/vdirsyncer/password")
                   + " && echo x > ~/.config/vdirsyncer/password")
        config = readme_block("A configuration (`~/.config/vdirsyncer/config`")
        config = replaced(config, "https://dav.example.org/addressbooks/me/contacts/",
                          "http://127.0.0.1:%d/user/contacts/" % self.port)
        config = replaced(config, 'username = "me"', 'username = "user"')
        config = replaced(config, 'password.fetch = ["command", "secret-tool", "lookup", '
                          '"service", "carddav"]', readme_command('password.fetch = ["command", "cat"'))
        self.config = os.path.join(self.env["XDG_CONFIG_HOME"], "vdirsyncer", "config")
        with open(self.config, "w") as f:
            f.write(config)
        self.vdirsyncer("discover", "cardomine")

    # A second vdir paired with the same address book: the phone, as khard would read it.
    def add_phone(self):
        self.phone = os.path.join(self.root, "phone")
        os.makedirs(self.phone)
        with open(self.config, "a") as f:
            f.write('\n[pair phone]\na = "phone_vdir"\nb = "cardomine_server"\n'
                    'collections = null\nconflict_resolution = "b wins"\n\n'
                    '[storage phone_vdir]\ntype = "filesystem"\npath = "%s"\n'
                    'fileext = ".vcf"\n' % self.phone)
        self.vdirsyncer("discover", "phone")

    def vdirsyncer(self, *args):
        result = subprocess.run(["vdirsyncer", "-v", "INFO"] + list(args),
                                env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=120)
        check(result.returncode == 0, "vdirsyncer %s failed:\n%s%s"
              % (" ".join(args), result.stdout, result.stderr))
        return result.stdout + result.stderr

    def sync_pass(self):
        result = subprocess.run([self.tool, "sync", "--vdir", self.vdir], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=60)
        check(result.returncode == 0, "sync failed:\n%s%s" % (result.stdout, result.stderr))
        return result.stdout

    def shell(self, command):
        result = subprocess.run(["sh", "-c", command], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, "%s failed: %s" % (command, result.stderr))

    # The README's systemd user unit and timer, installed as it says, checked by systemd.
    def install_unit(self):
        bin_folder = os.path.join(self.home, ".local", "bin")
        os.makedirs(bin_folder)
        os.symlink(self.tool, os.path.join(bin_folder, "cardomine-tool"))
        units = os.path.join(self.env["XDG_CONFIG_HOME"], "systemd", "user")
        os.makedirs(units)
        self.unit = readme_block("`~/.config/systemd/user/cardomine-sync.service`")
        for name, text in (("cardomine-sync.service", self.unit), ("cardomine-sync.timer",
                           readme_block("`~/.config/systemd/user/cardomine-sync.timer`"))):
            with open(os.path.join(units, name), "w") as f:
                f.write(text)
        result = subprocess.run(["systemd-analyze", "--user", "verify",
                                 os.path.join(units, "cardomine-sync.timer")],
                                env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=60)
        check(result.returncode == 0 and not result.stdout + result.stderr,
              "systemd-analyze verify: %s%s" % (result.stdout, result.stderr))

    # One run of the unit as systemd runs a oneshot service: each ExecStart in turn, %h the
    # home; a status other than 0 and SuccessExitStatus ends the run as failed.
    def run_unit(self):
        success = {0}
        steps = []
        for line in self.unit.splitlines():
            key, _, value = line.partition("=")
            if key == "SuccessExitStatus":
                success |= {int(status) for status in value.split()}
            elif key == "ExecStart":
                steps.append(shlex.split(value.replace("%h", self.home)))
        check(len(steps) == 3, "the unit has %d steps" % len(steps))
        statuses, out = [], ""
        for step in steps:
            result = subprocess.run(step, env=self.env, stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True, timeout=120)
            check(result.returncode in success, "the unit's %s failed (%d):\n%s%s"
                  % (step[0], result.returncode, result.stdout, result.stderr))
            statuses.append(result.returncode)
            out += result.stdout
        return statuses, out

    # What the server stores: its vCard files, by UID.
    def server_cards(self):
        cards = {}
        for name in os.listdir(self.collection):
            if name.startswith("."):
                continue
            with open(os.path.join(self.collection, name), encoding="utf-8") as f:
                text = f.read().replace("\r\n ", "").replace("\n ", "")
            uid = [line[4:] for line in text.splitlines() if line.startswith("UID:")]
            check(len(uid) == 1, "server card %s has no single UID" % name)
            cards[uid[0].strip()] = (name, text)
        return cards

    def mtimes(self, folder):
        return {name: os.stat(os.path.join(folder, name)).st_mtime_ns
                for name in os.listdir(folder)}


def main():
    if len(sys.argv) != 3:
        fail("usage: sync.py CARDOMINE_TOOL MAKE_CARD_FILE")
    if shutil.which("vdirsyncer") is None:
        skip("vdirsyncer is not installed")
    if subprocess.run(["/usr/bin/python3", "-c", "import radicale"],
                      capture_output=True).returncode != 0:
        skip("Radicale is not installed")

    box = Sandbox(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
    try:
        run(box)
    finally:
        box.stop_radicale()
        shutil.rmtree(box.root, ignore_errors=True)
    print("PASS")


def run(box):
    contacts = [
        record(FirstName="Ada", LastName="Lovelace", Company="Analytical Engines",
               City="London", ContactID="1", HomePhone="020.555.0101",
               FaxOrEmail="ada@example.org", DataType="Contacts"),
        record(FirstName="Émile", LastName="Zola", Address="1 Rue de la Paix", City="Paris",
               Zip="75002", ContactID="2", WorkPhone="01.555.0199", DataType="Contacts"),
        record(FirstName="Zoë", LastName="Brontë", City="Haworth", State="WY",
               ContactID="3", PagerMobile="555.0102", DataType="Contacts"),
    ]
    box.write_card_file()
    for number, expected in enumerate(contacts, 1):
        check(box.record(number) == expected, "record %d is %r" % (number, box.record(number)))
    check(box.notes(2) == "Prefers letters.\r\nCafé at 9\r\n", "notes 2: %r" % box.notes(2))
    box.start_radicale()
    box.make_address_book()

    # Card file -> vdir -> vdirsyncer -> Radicale: the server holds every contact.
    out = box.sync_pass()
    check("Wrote 3 vCard file(s)." in out, "first pass: " + out)
    box.vdirsyncer("sync")
    cards = box.server_cards()
    check(len(cards) == 3, "the server holds %d cards" % len(cards))
    by_name = {}
    for uid, (name, text) in cards.items():
        check(uid.startswith("urn:uuid:"), "UID %s is not ours" % uid)
        for line in text.splitlines():
            if line.startswith("FN:"):
                by_name[line[3:]] = (uid, name, text)
    check(set(by_name) == {"Ada Lovelace", "Émile Zola", "Zoë Brontë"}, repr(by_name.keys()))
    check("TEL;TYPE=home:020.555.0101" in by_name["Ada Lovelace"][2], "Ada's phone")
    check("NOTE:Prefers letters.\\nCafé at 9" in by_name["Émile Zola"][2], "Zola's notes")

    # A contact PUT to the server from outside, as a phone would.
    phone = ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-contact-1\r\nFN:Grace Hopper\r\n"
             "N:Hopper;Grace;;;\r\nORG:Navy\r\nTEL;TYPE=CELL:555.0199\r\n"
             "EMAIL:grace@example.org\r\nNOTE:Met at the conference\r\nEND:VCARD\r\n")
    status, _ = box.http("PUT", "/user/contacts/phone-contact-1.vcf", phone.encode(),
                         {"Content-Type": "text/vcard"})
    check(status == 201, "PUT answered %d" % status)
    box.install_unit()
    statuses, out = box.run_unit()
    check(statuses == [0, 0, 0], "the unit's statuses: %r" % statuses)
    check("Added contact 4 (Grace Hopper)" in out, "pass after the PUT: " + out)
    check(box.count() == 4, "count %d after the new contact" % box.count())
    check(box.record(4) == record(FirstName="Grace", LastName="Hopper", Company="Navy",
                                  ContactID="4", PagerMobile="555.0199",
                                  FaxOrEmail="grace@example.org", DataType="Contacts"),
          "record 4 is %r" % box.record(4))
    # The phone's UID is kept in the notes, so the card is found by it without the state.
    uid_line = "Imported values that do not fit a box:\r\nUID: phone-contact-1\r\n"
    check(box.notes(4) == "Met at the conference\r\n" + uid_line, "notes 4: %r" % box.notes(4))
    # ... and exactly as cardomine-tool import adds the same vCard to the same card file.
    other = Sandbox(box.tool, box.make_card_file)
    try:
        other.write_card_file()
        with open(os.path.join(other.root, "phone.vcf"), "w", encoding="utf-8") as f:
            f.write(phone)
        imported = subprocess.run([box.tool, "import", os.path.join(other.root, "phone.vcf")],
                                  env=other.env, stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, timeout=60)
        check(imported.returncode == 0, "import failed: " + imported.stdout + imported.stderr)
        check(other.record(4) == box.record(4) and other.notes(4) == box.notes(4),
              "import made %r, %r" % (other.record(4), other.notes(4)))
    finally:
        shutil.rmtree(other.root, ignore_errors=True)
    box.vdirsyncer("sync")
    cards = box.server_cards()
    check("phone-contact-1" in cards and len(cards) == 4,
          "the phone's card stays the phone's: %r" % sorted(cards))
    # (Radicale orders the properties its own way.)
    check(sorted(cards["phone-contact-1"][1].splitlines()) == sorted(phone.splitlines()),
          "the phone's card changed: %r" % cards["phone-contact-1"][1])

    # A contact edited on the server: the record follows.
    uid, name, text = by_name["Ada Lovelace"]
    edited = text.replace("020.555.0101", "020.555.7777").replace("\n", "\r\n")
    status, _ = box.http("PUT", "/user/contacts/" + name, edited.encode(),
                         {"Content-Type": "text/vcard"})
    check(status in (201, 204), "PUT of the edit answered %d" % status)
    box.vdirsyncer("sync")
    out = box.sync_pass()
    check("Updated contact 1 (Ada Lovelace)" in out, "pass after the edit: " + out)
    check(box.record(1) == record(FirstName="Ada", LastName="Lovelace",
                                  Company="Analytical Engines", City="London", ContactID="1",
                                  HomePhone="020.555.7777", FaxOrEmail="ada@example.org",
                                  DataType="Contacts"), "record 1 is %r" % box.record(1))

    # The same contact edited on both sides: the card file's version stays, the server's
    # is kept in the notes, and the pass says so.
    uid, name, text = by_name["Zoë Brontë"]
    edited = text.replace("Haworth", "Thornton").replace("\n", "\r\n")
    status, _ = box.http("PUT", "/user/contacts/" + name, edited.encode(),
                         {"Content-Type": "text/vcard"})
    check(status in (201, 204), "PUT of the conflicting edit answered %d" % status)
    ours = record(FirstName="Zoë", LastName="Brontë", City="Keighley", State="WY",
                  ContactID="3", PagerMobile="555.0102", DataType="Contacts")
    box.set_field(3, 4, "Keighley")
    box.vdirsyncer("sync")
    out = box.sync_pass()
    check("Conflict on contact 3 (Zoë Brontë)" in out, "pass after both edits: " + out)
    check(box.record(3) == ours, "record 3 is %r" % box.record(3))
    notes = box.notes(3)
    check("Sync conflict" in notes and "Thornton" in notes, "notes 3: %r" % notes)
    box.vdirsyncer("sync")
    cards = box.server_cards()
    check("Keighley" in cards[uid][1] and "Thornton" in cards[uid][1],
          "the server holds the card file's version with the other in its notes")

    # Changed on both sides between two vdirsyncer runs: vdirsyncer's conflict command
    # sends the card file's version up and sets the server's aside for the next pass.
    uid, name, text = by_name["Émile Zola"]
    cards = box.server_cards()
    edited = cards[uid][1].replace("01.555.0199", "01.555.4444").replace("\n", "\r\n")
    status, _ = box.http("PUT", "/user/contacts/" + cards[uid][0], edited.encode(),
                         {"Content-Type": "text/vcard"})
    check(status in (201, 204), "PUT of the racing edit answered %d" % status)
    ours = record(FirstName="Émile", LastName="Zola", Address="1 Rue de la Paix", City="Lyon",
                  Zip="75002", ContactID="2", WorkPhone="01.555.0199", DataType="Contacts")
    box.set_field(2, 4, "Lyon")
    out = box.sync_pass()
    check("Wrote 1 vCard file(s)." in out, "pass after the card file's edit: " + out)
    box.vdirsyncer("sync")
    check("Lyon" in box.server_cards()[uid][1], "the card file's version went up")
    out = box.sync_pass()
    check("Conflict on contact 2 (Émile Zola)" in out, "pass after vdirsyncer's conflict: " + out)
    check(box.record(2) == ours, "record 2 is %r" % box.record(2))
    check("01.555.4444" in box.notes(2) and box.notes(2).startswith("Prefers letters."),
          "notes 2: %r" % box.notes(2))
    check(os.listdir(os.path.join(box.vdir, ".cardomine-conflicts")) == [],
          "the set-aside version is still there")
    box.vdirsyncer("sync")
    check("01.555.4444" in box.server_cards()[uid][1], "the server has the notes")

    # Nothing changed: no file rewritten, nothing uploaded.
    vdir_before = box.mtimes(box.vdir)
    server_before = box.mtimes(box.collection)
    out = box.sync_pass()
    check(out.strip() == "Nothing changed.", "quiet pass: " + out)
    check(box.mtimes(box.vdir) == vdir_before, "the quiet pass rewrote a file")
    log = box.vdirsyncer("sync")
    check("Copying (uploading)" not in log and "Updating" not in log,
          "vdirsyncer uploaded after a quiet pass:\n" + log)
    check(box.mtimes(box.collection) == server_before, "the server's files changed")
    out = box.sync_pass()
    check(out.strip() == "Nothing changed.", "second quiet pass: " + out)

    # Cardomine open: the pass changes nothing and says "try again later", which the unit
    # counts as success, so vdirsyncer's upload still runs.
    folder = os.open(box.data, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(folder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        statuses, out = box.run_unit()
        check(statuses == [0, 75, 0], "the unit's statuses with Cardomine open: %r" % statuses)
    finally:
        os.close(folder)
    check(box.mtimes(box.vdir) == vdir_before, "the pass wrote while Cardomine was open")

    # From the phone's side: a contact richer than the card file's boxes survives a
    # round trip, and an edit in the card file changes only that value on the phone.
    box.add_phone()
    box.vdirsyncer("sync", "phone")
    photo = "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRof"
    rich = ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-contact-2\r\nFN:Łukasz Wójcik\r\n"
            "N:Wójcik;Łukasz;;;\r\nTEL;TYPE=CELL:+84 90 123 4567\r\n"
            "TEL;TYPE=HOME:020 555 0111\r\n"
            "EMAIL;TYPE=INTERNET:lukasz.wojcik.with.a.long.address@example.com\r\n"
            "BDAY:1980-02-03\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + photo + "\r\n"
            "NOTE:Мария 🙂\r\nEND:VCARD\r\n")
    with open(os.path.join(box.phone, "phone-contact-2.vcf"), "w", encoding="utf-8",
              newline="") as f:
        f.write(rich)
    box.vdirsyncer("sync", "phone")
    box.vdirsyncer("sync", "cardomine")
    out = box.sync_pass()
    check("Added contact 5" in out, "pass after the phone's new contact: " + out)
    box.set_field(5, 7, "020 555 0222")  # the home phone, edited in the card file
    out = box.sync_pass()
    check("Wrote 1 vCard file(s)." in out, "pass after the edit: " + out)
    box.vdirsyncer("sync", "cardomine")
    box.vdirsyncer("sync", "phone")
    with open(os.path.join(box.phone, "phone-contact-2.vcf"), encoding="utf-8") as f:
        back = f.read().replace("\r\n ", "").replace("\n ", "")
    expected = rich.replace("020 555 0111", "020 555 0222")
    check(sorted(back.splitlines()) == sorted(expected.replace("\r\n", "\n").splitlines()),
          "the phone's card after the round trip: %r" % back)


if __name__ == "__main__":
    main()
