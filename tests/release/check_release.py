#!/usr/bin/env python3
"""Checks the built VelmarisDiag.exe as it will be shipped: a 32-bit GUI program that Windows XP
loads, at most 500,000 bytes once stripped, importing nothing but XP's own system DLLs and
functions, with its icon, version record and manifest. Reads the file only; nothing runs. The
resource checks also hold for the 64-bit build the Wine tests use where 32-bit programs cannot
run; its manifest must name its own architecture.

    VELMARIS_EXE=<path> python3 -m unittest check_release
"""
import os
import re
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
EXE = os.environ.get('VELMARIS_EXE', '')
OBJDUMP = os.environ.get('OBJDUMP', 'i686-w64-mingw32-objdump')
STRIP = os.environ.get('STRIP', 'i686-w64-mingw32-strip')

# Windows' own DLLs; msvcrt.dll is the C runtime every Windows since NT 4 carries.
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'ole32.dll', 'oleaut32.dll',
               'comctl32.dll', 'advapi32.dll', 'shell32.dll', 'setupapi.dll', 'version.dll',
               'msvcrt.dll'}

# XP's msvcrt.dll predates the secure (_s) and per-locale (_l) functions of Vista's, and these.
MSVCRT_AFTER_XP = {'_set_invalid_parameter_handler', '_get_invalid_parameter_handler',
                   '_set_abort_behavior', '_get_errno', '_set_errno', '_get_doserrno',
                   '_set_doserrno', '_fseeki64', '_ftelli64', '_create_locale', '_free_locale',
                   '_get_current_locale', '_configthreadlocale'}
MSVCRT_AFTER_XP_PATTERN = re.compile(r'.*(_s|_l)$')

# Device property functions of Vista and later that the setupapi and cfgmgr32 headers declare
# without a version guard, so the generated list cannot know them.
SETUPAPI_AFTER_XP = {'CM_Get_DevNode_PropertyW', 'CM_Get_DevNode_Property_Keys',
                     'CM_Set_DevNode_PropertyW', 'CM_Get_Class_PropertyW',
                     'CM_Get_Device_Interface_PropertyW', 'CM_MapCrToWin32Err',
                     'SetupDiGetClassPropertyW', 'SetupDiGetClassPropertyKeys',
                     'SetupDiSetDevicePropertyW', 'SetupDiGetDeviceInterfacePropertyW'}


def post_xp_functions():
    with open(os.path.join(HERE, 'post-xp-functions.txt')) as f:
        return {line.strip() for line in f if line.strip() and not line.startswith('#')}


def objdump():
    return subprocess.run([OBJDUMP, '-p', EXE], check=True, capture_output=True,
                          text=True).stdout


def imports(dump):
    """DLL name (lower case) -> imported function names, from objdump's import tables."""
    table = {}
    current = None
    for line in dump.splitlines():
        dll = re.match(r'\s*DLL Name: (\S+)', line)
        entry = re.match(r'\s+[0-9a-f]+\s+\d+\s+(\S+)$', line)
        if dll:
            current = table.setdefault(dll.group(1).lower(), [])
        elif current is not None and entry:
            current.append(entry.group(1))
    return table


class PeImage:
    """Just enough of the PE format to read the resource directory."""

    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        pe = struct.unpack_from('<I', self.data, 0x3C)[0]
        assert self.data[pe:pe + 4] == b'PE\0\0'
        sections, optional_size = struct.unpack_from('<H12xH', self.data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from('<H', self.data, optional)[0]
        assert magic in (0x10B, 0x20B), 'neither PE32 nor PE32+'
        self.is_64_bit = magic == 0x20B
        directories = optional + (112 if self.is_64_bit else 96)
        self.resource_rva = struct.unpack_from('<I', self.data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from('<IIII', self.data, table + i * 40 + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def at(self, rva, size):
        for start, length, raw in self.sections:
            if start <= rva < start + length:
                offset = raw + rva - start
                return self.data[offset:offset + size]
        raise ValueError(f'RVA {rva:#x} in no section')

    def _entries(self, offset):
        base = self.at(self.resource_rva, 1 << 24)
        named, ids = struct.unpack_from('<HH', base, offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', base, offset + 16 + i * 8)
            yield name, target

    def resources(self):
        """(type, id, language) -> data, for every resource of the file."""
        base = self.at(self.resource_rva, 1 << 24)
        found = {}
        for kind, kinds in self._entries(0):
            for name, names in self._entries(kinds & 0x7FFFFFFF):
                for language, leaf in self._entries(names & 0x7FFFFFFF):
                    rva, size = struct.unpack_from('<II', base, leaf)
                    found[(kind, name, language)] = self.at(rva, size)
        return found


RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def version_block(data, offset=0):
    """A VS_VERSIONINFO node: (key, value bytes, value type, children)."""
    length, value_length, value_type = struct.unpack_from('<HHH', data, offset)
    end = offset + length
    key_end = data.index(b'\0\0', offset + 6)
    while (key_end - offset - 6) % 2:
        key_end = data.index(b'\0\0', key_end + 1)
    key = data[offset + 6:key_end].decode('utf-16-le')
    position = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_size]
    position = (position + value_size + 3) & ~3
    children = []
    while position < end:
        child = version_block(data, position)
        children.append(child[:4])
        position = (position + child[4] + 3) & ~3
    return key, value, value_type, children, length


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(EXE):
            raise FileNotFoundError(f'no executable at VELMARIS_EXE={EXE!r}')
        cls.dump = objdump()
        cls.imports = imports(cls.dump)

    def field(self, name):
        match = re.search(rf'^{name}\s+(\S+)', self.dump, re.MULTILINE)
        self.assertIsNotNone(match, name)
        return match.group(1)

    def test_is_a_32_bit_gui_program_that_xp_loads(self):
        self.assertIn('file format pei-i386', self.dump)
        self.assertEqual(self.field('Magic'), '010b')  # PE32
        self.assertRegex(self.dump, r'Subsystem\s+00000002\s+\(Windows GUI\)')
        subsystem = (int(self.field('MajorSubsystemVersion')),
                     int(self.field('MinorSubsystemVersion')))
        self.assertLessEqual(subsystem, (5, 1), 'XP refuses a higher subsystem version')
        system = (int(self.field('MajorOSystemVersion')), int(self.field('MinorOSystemVersion')))
        self.assertLessEqual(system, (5, 1))

    def test_stripped_release_file_stays_within_its_size_budget(self):
        if 'file format pei-i386' not in self.dump:
            self.skipTest('the budget is for the 32-bit release file')
        with tempfile.TemporaryDirectory() as folder:
            stripped = os.path.join(folder, 'VelmarisDiag.exe')
            subprocess.run([STRIP, '-o', stripped, EXE], check=True)
            self.assertLessEqual(os.path.getsize(stripped), 500_000)

    def test_imports_only_windows_own_dlls(self):
        self.assertIn('kernel32.dll', self.imports)
        self.assertLessEqual(set(self.imports), SYSTEM_DLLS,
                             'a DLL outside Windows: the program must be one static file')

    def test_imports_no_function_newer_than_xp(self):
        newer = post_xp_functions() | SETUPAPI_AFTER_XP
        self.assertIn('GetTickCount64', newer, 'the list of newer functions looks empty')
        for dll, functions in self.imports.items():
            with self.subTest(dll=dll):
                self.assertEqual(sorted(set(functions) & newer), [])
        crt = [f for f in self.imports.get('msvcrt.dll', [])
               if f in MSVCRT_AFTER_XP or MSVCRT_AFTER_XP_PATTERN.match(f)]
        self.assertEqual(crt, [], "not in XP's msvcrt.dll")


class ResourceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(EXE):
            raise FileNotFoundError(f'no executable at VELMARIS_EXE={EXE!r}')
        image = PeImage(EXE)
        cls.resources = image.resources()
        cls.architecture = 'amd64' if image.is_64_bit else 'x86'

    def of_type(self, kind):
        return {(name, language): data for (k, name, language), data in self.resources.items()
                if k == kind}

    def test_icon_has_a_32_and_a_16_pixel_image_in_24_bit_colour(self):
        groups = self.of_type(RT_GROUP_ICON)
        self.assertEqual(len(groups), 1)
        group = next(iter(groups.values()))
        reserved, kind, count = struct.unpack_from('<HHH', group)
        self.assertEqual((reserved, kind, count), (0, 1, 2))
        icons = {name: data for (name, _), data in self.of_type(RT_ICON).items()}
        sizes = []
        for i in range(count):
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from(
                '<BBBBHHIH', group, 6 + i * 14)
            self.assertEqual(bits, 24)
            # The image itself, not only the directory, must say the same.
            image = icons[icon_id]
            self.assertEqual(len(image), size)
            header, dib_width, dib_height, _, dib_bits = struct.unpack_from('<IiiHH', image)
            self.assertEqual((header, dib_width, dib_height, dib_bits),
                             (40, width, 2 * height, 24))
            sizes.append((width, height))
        self.assertEqual(sorted(sizes), [(16, 16), (32, 32)])

    def test_version_record_is_2_3_0_0_in_spanish(self):
        records = self.of_type(RT_VERSION)
        self.assertEqual([language for _, language in records], [0x0C0A])
        key, fixed, _, children = version_block(next(iter(records.values())))[:4]
        self.assertEqual(key, 'VS_VERSION_INFO')
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<6I', fixed)
        self.assertEqual(signature, 0xFEEF04BD)
        self.assertEqual((file_ms, file_ls), (0x00020003, 0))
        self.assertEqual((product_ms, product_ls), (0x00020003, 0))

        blocks = {child[0]: child for child in children}
        tables = blocks['StringFileInfo'][3]
        self.assertEqual([table[0].upper() for table in tables], ['0C0A04B0'])
        strings = {s[0]: s[1].decode('utf-16-le').rstrip('\0') for s in tables[0][3]}
        self.assertEqual(strings['FileVersion'], '2.03')
        self.assertEqual(strings['ProductVersion'], '2.03')
        translation = blocks['VarFileInfo'][3][0]
        self.assertEqual(translation[0], 'Translation')
        self.assertEqual(struct.unpack('<HH', translation[1]), (0x0C0A, 1200))

    def test_manifest_runs_as_invoker_dpi_aware_without_windows_8_1_or_later(self):
        manifests = self.of_type(RT_MANIFEST)
        # Windows reads a program's manifest from resource 1 only.
        self.assertEqual([name for name, _ in manifests], [1])
        root = ElementTree.fromstring(next(iter(manifests.values())))

        def all_named(tag):
            return [e for e in root.iter() if e.tag.rsplit('}', 1)[-1] == tag]

        levels = all_named('requestedExecutionLevel')
        self.assertEqual([(e.get('level'), e.get('uiAccess', 'false')) for e in levels],
                         [('asInvoker', 'false')])
        self.assertEqual([e.text.strip().lower() for e in all_named('dpiAware')], ['true'])
        self.assertEqual(all_named('dpiAwareness'), [],
                         'Windows 10 would read dpiAwareness instead of dpiAware')
        # supportedOS Ids of Vista, 7 and 8; any other is 8.1 or later, which would make
        # GetVersionExA report the real version.
        allowed = {'{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
                   '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}'}
        supported = {e.get('Id', '').lower() for e in all_named('supportedOS')}
        self.assertLessEqual(supported, allowed)
        # Windows refuses to start a program whose manifest names another architecture.
        identities = all_named('assemblyIdentity')
        self.assertEqual(len(identities), 2, 'the program and the common controls')
        for identity in identities:
            self.assertIn(identity.get('processorArchitecture'), (self.architecture, '*'))
        # The program's own identity, beside its version record; Windows refuses a version that
        # is not four numbers.
        program = next(e for e in root if e.tag.rsplit('}', 1)[-1] == 'assemblyIdentity')
        self.assertEqual((program.get('name'), program.get('version')), ('VelmarisDiag', '2.3.0.0'))
        self.assertEqual([e.text for e in all_named('description')],
                         ['Diagnóstico de Compatibilidad de Velmaris'])


if __name__ == '__main__':
    unittest.main()
