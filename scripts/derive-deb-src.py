#!/usr/bin/env python3
"""Prints deb-src entries (deb822 format) for the Debian archives that this
machine's apt sources already name as binary (deb) entries: same addresses,
suites, components and keys. Third-party archives are left out: only
addresses with a path segment starting "debian" count as Debian's.
Exits 1 when no Debian entry is found."""
import glob
import re
import sys

LIST_LINE = re.compile(r"^\s*deb\s+(?:\[(?P<options>[^\]]*)\]\s+)?(?P<uri>\S+)\s+(?P<suite>\S+)\s*(?P<components>.*)$")


def is_debian_archive(uri):
    path = uri.split("://", 1)[-1].split("/", 1)[-1]
    return any(segment.startswith("debian") for segment in path.split("/"))


def stanzas_of_deb822(text):
    for block in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in block.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line[0] in " \t" and key:
                fields[key] += "\n" + line
                continue
            key, _, value = line.partition(":")
            key = key.strip().lower()
            fields[key] = value.strip()
        if fields:
            yield fields


def entries_of_deb822(text):
    for fields in stanzas_of_deb822(text):
        if "deb" not in fields.get("types", "").split() or fields.get("enabled", "yes").lower() == "no":
            continue
        for uri in fields.get("uris", "").split():
            yield uri, fields.get("suites", ""), fields.get("components", ""), fields.get("signed-by", "")


def entries_of_list(text):
    for line in text.splitlines():
        match = LIST_LINE.match(line)
        if not match:
            continue
        options = dict(option.split("=", 1) for option in (match["options"] or "").split() if "=" in option)
        yield match["uri"], match["suite"], match["components"].strip(), options.get("signed-by", "")


def configured_entries():
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
        try:
            yield from entries_of_list(open(path, encoding="utf-8").read())
        except FileNotFoundError:
            pass
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        yield from entries_of_deb822(open(path, encoding="utf-8").read())


def main():
    seen, stanzas = set(), []
    for uri, suites, components, signed_by in configured_entries():
        if not is_debian_archive(uri) or (uri, suites, components) in seen:
            continue
        seen.add((uri, suites, components))
        stanza = f"Types: deb-src\nURIs: {uri}\nSuites: {suites}\nComponents: {components}\n"
        if signed_by:
            stanza += f"Signed-By: {signed_by}\n"
        stanzas.append(stanza)
    if not stanzas:
        print("no Debian archive among the configured apt sources", file=sys.stderr)
        return 1
    print("\n".join(stanzas), end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
