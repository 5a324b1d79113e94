#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""The notices of what is linked into Lumivane.exe.

  windows-notices.py index QTBASE_SOURCE OUT
      Once per static Qt: reads every qt_attribution.json of Qt's source with
      the licence files it names, and works out which compiled objects carry
      each attributed piece (its own sources, and the sources that #include
      its files or embed them as resources). Writes OUT/index.json and copies
      the licence texts under OUT/.

  windows-notices.py current NOTICES
      Exits 0 when NOTICES holds an index of the format this script writes.

  windows-notices.py write MAP QT_PREFIX NOTICES BUILD OUT
      From the linker's map of Lumivane.exe: every archive member and object
      file that went in. Qt's own code, the third-party code Qt builds in
      (those of the index's entries whose objects were linked) and the
      compiler's and the C runtime's libraries (by the Debian package that
      owns them, with its copyright file) are written to OUT. Exits 1, naming
      it, when a linked file belongs to none of these or an entry has no
      licence text.
"""

import hashlib
import json
import os
import re
import subprocess
import sys

# Raised whenever index() learns to read more of Qt's source: an index of an
# older format is made again from the source (tools/build-qt-windows.sh).
INDEX_FORMAT = 3

SOURCE_SUFFIXES = ('.c', '.cc', '.cpp')
SCANNED_SUFFIXES = SOURCE_SUFFIXES + ('.h', '.hh', '.hpp', '.inc', '.inl')


def fail(message):
    print(f'windows-notices: {message}', file=sys.stderr)
    sys.exit(1)


def read_attribution(path):
    """qt_attribution.json is not strict JSON: raw line breaks inside strings,
    trailing commas, and keys given twice (the last one counts)."""
    with open(path, encoding='utf-8') as f:
        text = f.read()
    text = re.sub(r',(\s*[}\]])', r'\1', text)
    data = json.loads(text, strict=False)
    return data if isinstance(data, list) else [data]


def different_libraries(a, b):
    a, b = a.split('/'), b.split('/')
    return a[:2] == b[:2] == ['src', '3rdparty'] and a[2] != b[2]


def index(source, out):
    source = os.path.abspath(source)
    src = os.path.join(source, 'src')
    files = {}  # path relative to source -> True, for what src holds
    for top, dirs, names in os.walk(src):
        for name in names:
            files[os.path.relpath(os.path.join(top, name), source)] = True
    by_suffix = {}
    for rel in files:
        parts = rel.split('/')
        for i in range(len(parts)):
            by_suffix.setdefault('/'.join(parts[i:]), []).append(rel)

    # Who includes whom: an include is looked for beside its includer first,
    # then as the end of a path in the includer's own library, then of any
    # path in src (the include paths are not known here).
    includers = {}
    include_re = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)
    for rel in files:
        if not rel.endswith(SCANNED_SUFFIXES):
            continue
        with open(os.path.join(source, rel), encoding='latin-1') as f:
            text = f.read()
        for name in set(include_re.findall(text)):
            beside = os.path.normpath(os.path.join(os.path.dirname(rel), name))
            if beside in files:
                targets = [beside]
            else:
                # A bare "config.h" means the one of its own library.
                targets = by_suffix.get(name.lstrip('./'), [])
                own = [t for t in targets if t.split('/')[:3] == rel.split('/')[:3]]
                targets = own or targets
            for target in targets:
                # One library's use of another's header (libpng's of zlib.h)
                # says nothing of what is linked; the other's objects do.
                if different_libraries(rel, target):
                    continue
                includers.setdefault(target, set()).add(rel)

    # Resource files: a "set(NAME_resource_files ...)" block in a CMakeLists.txt
    # becomes the object qrc_NAME.cpp.obj.
    embedded_by = {}
    block_re = re.compile(r'set\((\w+)_resource_files\s+(.*?)\)', re.S)
    for rel in files:
        if os.path.basename(rel) != 'CMakeLists.txt':
            continue
        with open(os.path.join(source, rel), encoding='utf-8') as f:
            text = f.read()
        for name, body in block_re.findall(text):
            for token in re.findall(r'"([^"$]+)"|(\S+)', body):
                path = os.path.normpath(os.path.join(os.path.dirname(rel), token[0] or token[1]))
                embedded_by.setdefault(path, set()).add(f'qrc_{name}.cpp.obj')

    def members_carrying(paths):
        members = set()
        seen = set()
        todo = list(paths)
        while todo:
            rel = todo.pop()
            if rel in seen:
                continue
            seen.add(rel)
            if rel.endswith(SOURCE_SUFFIXES):
                members.add(os.path.basename(rel) + '.obj')
            members |= embedded_by.get(rel, set())
            todo.extend(includers.get(rel, ()))
        return members

    # The libraries Qt builds as archives of their own (libQt6BundledZLIB.a):
    # their code is linked only through that archive. FreeType carries
    # zlib's files too, named as Qt's own copy of zlib is.
    archive_re = re.compile(r'qt_internal_add_3rdparty_library\((Bundled\w+)')
    archives = {}
    for rel in files:
        parts = rel.split('/')
        if parts[:2] == ['src', '3rdparty'] and len(parts) == 4 and parts[3] == 'CMakeLists.txt':
            with open(os.path.join(source, rel), encoding='utf-8') as f:
                m = archive_re.search(f.read())
            if m:
                archives[parts[2]] = m.group(1)

    os.makedirs(out, exist_ok=True)
    entries = []
    for rel_json in sorted(p for p in files if os.path.basename(p) == 'qt_attribution.json'):
        folder = os.path.dirname(rel_json)
        for item in read_attribution(os.path.join(source, rel_json)):
            named = (item.get('Files', '') + ' ' + item.get('Path', '')).replace(',', ' ').split()
            paths = set()
            for word in named:
                path = os.path.normpath(os.path.join(folder, word))
                if path in files:
                    paths.add(path)
                else:
                    paths |= {p for p in files if p.startswith(path + '/')}
            if not paths:
                paths = {p for p in files if p.startswith(folder + '/')}
            def kept(word):
                path = os.path.normpath(os.path.join(folder, word))
                if not os.path.isfile(os.path.join(source, path)):
                    fail(f'{rel_json}: {item.get("Id")}: {word} is missing')
                os.makedirs(os.path.join(out, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(source, path), 'rb') as f, \
                        open(os.path.join(out, path), 'wb') as g:
                    g.write(f.read())
                return path
            # One file as "LicenseFile", or several as the list "LicenseFiles"
            # (libjpeg's); the copyright may stand in a file of its own.
            words = item.get('LicenseFile', '').split()
            listed = item.get('LicenseFiles', [])
            words += listed.split() if isinstance(listed, str) else listed
            licences = [kept(word) for word in words]
            copyright_file = kept(item['CopyrightFile']) if item.get('CopyrightFile') else ''
            entries.append({
                'id': item.get('Id', ''),
                'name': item.get('Name', ''),
                'version': item.get('Version', ''),
                'homepage': item.get('Homepage', ''),
                'license': item.get('License', ''),
                'licenseId': item.get('LicenseId', ''),
                'copyright': item.get('Copyright', ''),
                'attribution': rel_json,
                'licenceFiles': licences,
                'copyrightFile': copyright_file,
                'members': sorted(members_carrying(paths)),
                'archive': archives.get(rel_json.split('/')[2], '')
                if rel_json.startswith('src/3rdparty/') else '',
            })

    # Objects of code under src/3rdparty: each linked one needs an entry.
    third_party = sorted({os.path.basename(p) + '.obj' for p in files
                          if p.startswith('src/3rdparty/') and p.endswith(SOURCE_SUFFIXES)})

    with open(os.path.join(source, 'src/corelib/global/qglobal.cpp'), encoding='utf-8') as f:
        spdx = re.search(r'SPDX-License-Identifier:\s*(.+)', f.read())
    if not spdx:
        fail('no licence line in Qt Core')
    qt_licence = ' OR '.join(p.strip() for p in spdx.group(1).split(' OR ')
                             if not p.strip().startswith('LicenseRef-'))
    for name in ('LGPL-3.0-only.txt', 'GPL-3.0-only.txt'):
        path = os.path.join('LICENSES', name)
        os.makedirs(os.path.join(out, 'LICENSES'), exist_ok=True)
        with open(os.path.join(source, path), 'rb') as f, open(os.path.join(out, path), 'wb') as g:
            g.write(f.read())

    with open(os.path.join(out, 'index.json'), 'w', encoding='utf-8') as f:
        json.dump({'format': INDEX_FORMAT, 'qtLicense': qt_licence, 'entries': entries,
                   'thirdPartyMembers': third_party}, f, indent=1, ensure_ascii=False)


def index_format(notices):
    try:
        with open(os.path.join(notices, 'index.json'), encoding='utf-8') as f:
            return json.load(f).get('format', 1)
    except (OSError, ValueError):
        return None


def linked_files(map_path):
    """(archive or None, object) for everything the map says went in."""
    with open(map_path, encoding='utf-8', errors='replace') as f:
        text = f.read()
    members = set(re.findall(r'^(\S+\.a)\(([^)\s]+)\)', text, re.M))
    objects = {(None, path) for path in re.findall(r'^LOAD (\S+)', text, re.M)
               if not path.endswith('.a')}
    return members | objects


def debian_packages(paths):
    """The Debian package owning each path, by its real path or the path as
    given (a link's own path may be the packaged one). One dpkg-query for all:
    one per path takes minutes for the hundreds of the C runtime's members."""
    candidates = {}
    for path in paths:
        for candidate in (os.path.realpath(path), os.path.normpath(path)):
            candidates.setdefault(candidate, path)
    if not candidates:
        return {}
    # Exits 1 when some path belongs to no package; the others are printed.
    result = subprocess.run(['dpkg-query', '-S', *candidates], capture_output=True, text=True)
    owners = {}
    for line in result.stdout.splitlines():
        package, _, owned = line.partition(': ')
        if owned in candidates:
            # "pkg1, pkg2: path" when several share a folder; files have one.
            owners.setdefault(candidates[owned], package.split(',')[0].split(':')[0].strip())
    return owners


def qt_part(prefix, archive, obj):
    """Which part of Qt a file of the Qt prefix belongs to."""
    path = os.path.relpath(archive or obj, prefix)
    base = os.path.basename(path)
    m = re.match(r'libQt6(\w+)\.a$', base)
    if m:
        return m.group(1)
    # A plugin's registration object lies under plugins/, not lib/.
    m = re.match(r'(?:lib|plugins/\w+)/objects-\w+/(\w+?)_(resources_\d+|init)/', path)
    if m:
        return m.group(1)
    m = re.match(r'plugins/(\w+)/lib(\w+)\.a$', path)
    if m:
        return f'{m.group(2)} plugin ({m.group(1)})'
    return path


def text_of(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        return f.read().rstrip() + '\n'


def write(map_path, prefix, notices, build, out):
    prefix = os.path.realpath(prefix)
    build = os.path.realpath(build)
    notices = os.path.realpath(notices)
    out = os.path.abspath(out)
    map_path = os.path.abspath(map_path)
    # The map names the build's own objects relative to the build folder.
    os.chdir(build)
    if index_format(notices) != INDEX_FORMAT:
        fail(f'{notices}: the index is missing or of an older format; '
             'tools/build-qt-windows.sh makes it again')
    with open(os.path.join(notices, 'index.json'), encoding='utf-8') as f:
        idx = json.load(f)
    third_party = set(idx['thirdPartyMembers'])

    qt_parts = set()
    qt_members = set()
    packages = {}
    unknown = []
    others = []
    for archive, obj in sorted(linked_files(map_path), key=lambda x: (x[0] or '', x[1])):
        where = os.path.realpath(archive or obj)
        if where.startswith(build + '/'):
            continue  # Lumivane's own objects
        if where.startswith(prefix + '/'):
            qt_parts.add(qt_part(prefix, archive, obj))
            qt_members.add(os.path.basename(obj))
            continue
        others.append((archive, obj))
    owners = debian_packages({archive or obj for archive, obj in others})
    for archive, obj in others:
        package = owners.get(archive or obj)
        if package is None:
            unknown.append(f'{archive}({obj})' if archive else obj)
        else:
            packages.setdefault(package, set()).add(os.path.realpath(archive or obj))
    if unknown:
        fail('no notice for these linked files (no Debian package owns them): ' + ', '.join(unknown))

    entries = [e for e in idx['entries'] if qt_members & set(e['members'])
               and (not e['archive'] or e['archive'] in qt_parts)]
    covered = set().union(*(set(e['members']) for e in entries)) if entries else set()
    orphans = sorted((qt_members & third_party) - covered)
    if orphans:
        fail('no notice for third-party code of Qt linked as: ' + ', '.join(orphans))

    rule = '-' * 78 + '\n'
    parts = ['Components linked into Lumivane.exe, with their licences.\n'
             'Lumivane itself is under the GNU General Public License, version 3 or\n'
             'any later version; its text is in LICENSE.txt.\n\n']
    parts.append(rule + 'Qt (qtbase): ' + ', '.join(sorted(qt_parts)) + '\n')
    parts.append('Copyright (C) The Qt Company Ltd. and other contributors.\n')
    parts.append(f'Licence: {idx["qtLicense"]}.\n'
                 'Lumivane.exe uses Qt under the GNU General Public License, version 3\n'
                 '(LICENSE.txt); the GNU Lesser General Public License, version 3,\n'
                 'follows.\n\n')
    parts.append(text_of(os.path.join(notices, 'LICENSES', 'LGPL-3.0-only.txt')) + '\n')

    texts_given = {}
    for e in sorted(entries, key=lambda e: e['name'].lower()):
        public_domain = e['licenseId'] == 'Public Domain' or e['license'] == 'Public Domain'
        if not e['licenceFiles'] and not public_domain:
            fail(f'{e["attribution"]}: {e["id"]} names no licence file')
        parts.append(rule + f'{e["name"]}' + (f' {e["version"]}' if e['version'] else '') + '\n')
        parts.append(f'Built into Qt; listed in qtbase/{e["attribution"]}.\n')
        if e['homepage']:
            parts.append(f'Home page: {e["homepage"]}\n')
        ident = f' ({e["licenseId"]})' if e['licenseId'] else ''
        parts.append(f'Licence: {e["license"]}{ident}\n')
        if e['copyrightFile']:
            parts.append(text_of(os.path.join(notices, e['copyrightFile'])) + '\n')
        else:
            parts.append(f'{e["copyright"].strip()}\n\n')
        for lic in e['licenceFiles']:
            text = text_of(os.path.join(notices, lic))
            key = hashlib.sha256(text.encode()).hexdigest()
            if key in texts_given:
                parts.append(f'The licence text is the one given above for {texts_given[key]}.\n\n')
            else:
                texts_given[key] = e['name']
                parts.append(text + '\n')

    for package, paths in sorted(packages.items()):
        copyright_file = f'/usr/share/doc/{package}/copyright'
        if not os.path.isfile(copyright_file):
            fail(f'{package} (linked: {", ".join(sorted(paths))}) has no copyright file')
        parts.append(rule + f'The compiler\'s and the C runtime\'s libraries: '
                     + ', '.join(sorted(os.path.basename(p) for p in paths))
                     + f'\nFrom the Debian package {package}; its copyright file follows.\n\n')
        text = text_of(copyright_file)
        key = hashlib.sha256(text.encode()).hexdigest()
        if key in texts_given:
            parts.append(f'It is the same as the one given above for {texts_given[key]}.\n\n')
            continue
        texts_given[key] = package
        parts.append(text + '\n')
        # Debian's copyright files point to the common licences by path.
        for name in sorted(set(re.findall(r'/usr/share/common-licenses/([\w.+-]+[\w+])', text))):
            path = f'/usr/share/common-licenses/{name}'
            if os.path.isfile(path):
                common = text_of(path)
                key = hashlib.sha256(common.encode()).hexdigest()
                if key not in texts_given:
                    texts_given[key] = path
                    parts.append(f'{path}:\n\n{common}\n')

    with open(out + '.tmp', 'w', encoding='utf-8') as f:
        f.write(''.join(parts))
    os.replace(out + '.tmp', out)
    print(f'windows-notices: {len(qt_parts)} parts of Qt, {len(entries)} third-party pieces in Qt, '
          f'{len(packages)} Debian packages: ' + ', '.join(sorted(packages)), file=sys.stderr)
    print('windows-notices: third-party code in Qt: '
          + ', '.join(sorted({e['id'] for e in entries})), file=sys.stderr)


if __name__ == '__main__':
    if len(sys.argv) == 4 and sys.argv[1] == 'index':
        index(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == 'current':
        sys.exit(0 if index_format(sys.argv[2]) == INDEX_FORMAT else 1)
    elif len(sys.argv) == 7 and sys.argv[1] == 'write':
        write(*sys.argv[2:])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
