#!/usr/bin/env python3
"""`make bench`: figures of the Windows build under Wine, printed as a Markdown list.

- start-up to the first painted window, in the same run against three yardsticks: a bare Win32
  window program; the same window that also starts OLE and creates and activates the simulated
  component; and that one also initialising the common controls under the program's manifest and
  creating the form's controls with their fonts from the form's own table, the like-for-like
  yardstick (everything the program must do before it shows but its load event, its keyboard and
  scroll bar set-up and its paint), against which the program's ratio has an aim;
- the executable's size, as built and stripped;
- the component calls per timer tick once connected, from the simulated component's call log;
- the peak working set, against the bare window;
- what a scan without a unit adds at its end, phase by phase (reading what Windows sees, the port
  check, the verdict, the section's lines), with hundreds of devices added to the prefix's device
  tree and the ports the check opens linked to plain files;
- the window's silence at that end, probed from another process, with those devices and without:
  the tick that ends the scan, the event that writes the section (and where its time goes), and
  the time from that tick to the section.

    tools/bench.py [runs [build dir]]   (the build dir, build/windows by default, holds the
                                        programs: its bench_programs target)

The size is always the 32-bit release file's (build/windows), the one users get; the timings are
of the build given, which is build/windows64 where this machine cannot run 32-bit programs.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(ROOT, 'build', 'windows')
BIN = os.path.join(BUILD, 'bin')
RELEASE_EXE = os.path.join(ROOT, 'build', 'windows', 'bin', 'VelmarisDiag.exe')
WINE_DIR = os.path.join(BUILD, 'wine-bench')
SCRIPTS = os.path.join(ROOT, 'tests', 'wine')
SCENARIOS = os.path.join(ROOT, 'tests', 'simulator', 'scenarios')
CONNECTED_SECONDS = 12  # the unit on COM3 answers in the fifth tick
LIKE_FOR_LIKE_AIM = 1.05  # the most the program's start-up may take against that yardstick
EXTRA_DEVICES = 400  # one in ten of the Ports class, with a port name
IN_RANGE_PORTS = 20  # of those, the ones numbered COM1 to COM20
SCAN_RUNS = 3  # scans without a unit, each some 25 s, timed with the devices and without
TICK_AIM_MS = 50  # the most the devices may add to the silence of the tick that ends the scan
SECTION_AIM_MS = 250  # the most the event that writes the section may keep the window silent
BENCH_DEVICES_KEY = r'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\VELMARIS_BENCH'
# Where the serial ports' driver keys go: each has a provider, a version and a date to read.
CLASS_KEY = r'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Class'


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


def wine_environment():
    """The Wine loader and settings of the bench's prefix, as the test scripts choose them."""
    said = subprocess.run(['bash', '-c', '. "$0" "$1" && printf "%s\\0" "$wine" && env -0',
                           os.path.join(SCRIPTS, 'wine-env'), WINE_DIR],
                          check=True, capture_output=True).stdout.decode()
    loader, *variables = said.split('\0')
    env = dict(variable.split('=', 1) for variable in variables if '=' in variable)
    with open(os.path.join(WINE_DIR, 'display')) as f:
        env['DISPLAY'] = ':' + f.read().strip()
    return loader, env


def drive(wine, env, *arguments):
    """Runs bench_driver under Wine; its figures, one dict per program line."""
    # Wine's services may inherit the output, so it goes to a file rather than a pipe.
    with tempfile.TemporaryFile('w+') as out:
        subprocess.run([wine, os.path.join(BIN, 'bench_driver.exe'), *arguments], env=env,
                       stdout=out, stdin=subprocess.DEVNULL, check=True)
        out.seek(0)
        lines = [line.split() for line in out.read().splitlines() if ' ms=' in line]
    return [dict(field.split('=') for field in line[1:]) for line in lines]


def calls_per_tick(log_path):
    """(ticks, calls, kinds) over the ticks after the one that read the unit."""
    with open(log_path, encoding='utf-8') as f:
        lines = [line.split(' [dispid=')[0] for line in f
                 if line.split(' ')[0] in ('put', 'get', 'call', 'invoke')]
    found = next(i for i, line in enumerate(lines)
                 if line.startswith('get DeviceInfo -> VT_ARRAY'))
    # Each call as "<kind> <operation>"; every tick begins with its read of LinkOpen, and what
    # comes before the first one after the unit answered still belongs to the connecting tick.
    after = [' '.join(line.split(' ')[:2]) for line in lines[found + 1:]]
    later = after[after.index('get LinkOpen'):]
    return later.count('get LinkOpen'), len(later), sorted(set(later))


def regedit(wine, env, lines):
    """Imports registry lines into the prefix."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'devices.reg')
        with open(path, 'w', encoding='utf-16') as f:
            f.write('Windows Registry Editor Version 5.00\r\n\r\n' + '\r\n'.join(lines) + '\r\n')
        subprocess.run([wine, 'regedit', '/s', windows_path(path)], env=env, check=True,
                       stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def add_bench_devices(wine, env):
    """Adds EXTRA_DEVICES devices to the prefix's device tree; the lines that remove them."""
    ports = '{4D36E978-E325-11CE-BFC1-08002BE10318}'
    others = ['{36FC9E60-C465-11CF-8056-444553540000}', '{4D36E96B-E325-11CE-BFC1-08002BE10318}',
              '{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}']
    lines = []
    drivers = []
    for n in range(EXTRA_DEVICES):
        key = f'[{BENCH_DEVICES_KEY}\\DEV\\{n:04d}]'
        setup_class = ports if n % 10 == 0 else others[n % len(others)]
        lines += [key, f'"ClassGUID"="{setup_class}"', f'"FriendlyName"="Bench device {n}"']
        if setup_class == ports:
            driver = f'{ports}\\{9000 + n:04d}'
            # The first twenty take COM1 to COM20, which the scan tries and the check opens.
            port = n // 10 + 1 if n // 10 < IN_RANGE_PORTS else 100 + n
            lines += [f'"Driver"="{ports}\\\\{9000 + n:04d}"', '',
                      key[:-1] + '\\Device Parameters]', f'"PortName"="COM{port}"', '',
                      f'[{CLASS_KEY}\\{driver}]', '"ProviderName"="Bench"',
                      '"DriverVersion"="1.2.3.4"', '"DriverDate"="8-30-2017"']
            drivers.append(f'[-{CLASS_KEY}\\{driver}]')
        lines.append('')
    regedit(wine, env, lines)
    return [f'[-{BENCH_DEVICES_KEY}]'] + drivers


def with_com_links(wine, env, program, *arguments):
    """Runs a program of the bench's under Wine, the ports the check opens being plain files of
    the prefix, as the tests' are; its line of figures."""
    with tempfile.TemporaryFile('w+') as out:
        links = ','.join(str(port) for port in range(1, IN_RANGE_PORTS + 1))
        subprocess.run([os.path.join(SCRIPTS, 'wine-com-links'), WINE_DIR, links, wine,
                        os.path.join(BIN, program), *arguments],
                       env=env, stdout=out, stdin=subprocess.DEVNULL, check=True)
        out.seek(0)
        return [dict(field.split('=') for field in line.split()[1:])
                for line in out.read().splitlines()
                if line.split(' ')[0] in ('windows-devices', 'appends', 'silence')]


def windows_devices(wine, env, runs, app):
    """Times reading what Windows sees with EXTRA_DEVICES more devices in the device tree, and
    the section's appends; then the window's silence at the scan's end with them and without."""
    scan_env = dict(env)
    scan_env['QELSIM_SCENARIO'] = windows_path(os.path.join(SCENARIOS, 'no-unit.txt'))
    removal = add_bench_devices(wine, env)
    try:
        devices, appends = with_com_links(wine, env, 'windows_devices_bench.exe', str(runs))
        (silence,) = with_com_links(wine, scan_env, 'bench_driver.exe', 'silence',
                                    str(SCAN_RUNS), app)
    finally:
        regedit(wine, env, removal)
    (bare_silence,) = with_com_links(wine, scan_env, 'bench_driver.exe', 'silence',
                                     str(SCAN_RUNS), app)
    return devices, appends, silence, bare_silence


def main(runs):
    bare = windows_path(os.path.join(BIN, 'bare_window.exe'))
    hosting = windows_path(os.path.join(BIN, 'bare_component_window.exe'))
    like = windows_path(os.path.join(BIN, 'bare_controls_window.exe'))
    app = windows_path(os.path.join(BIN, 'VelmarisDiag.exe'))
    subprocess.run([os.path.join(SCRIPTS, 'wine-setup'), WINE_DIR,
                    os.path.join(BIN, 'qelsim.dll')], check=True, stdout=subprocess.DEVNULL)
    try:
        wine, env = wine_environment()
        env['QELSIM_SCENARIO'] = windows_path(os.path.join(SCENARIOS, 'com3-unit.txt'))
        log = os.path.join(WINE_DIR, 'bench-calls.log')
        env['QELSIM_LOG'] = windows_path(log)
        drive(wine, env, 'startup', '1', bare, hosting, like, app)  # warm the caches for all alike
        bare_start, hosting_start, like_start, app_start = drive(wine, env, 'startup', str(runs),
                                                                 bare, hosting, like, app)
        if os.path.exists(log):
            os.remove(log)
        (app_held,) = drive(wine, env, 'hold', str(CONNECTED_SECONDS), app)
        (bare_held,) = drive(wine, env, 'hold', str(CONNECTED_SECONDS), bare)
        ticks, calls, kinds = calls_per_tick(log)
        devices, appends, silence, bare_silence = windows_devices(wine, env, runs, app)
    finally:
        subprocess.run([os.path.join(SCRIPTS, 'wine-cleanup'), WINE_DIR], check=False)

    exe = RELEASE_EXE
    with tempfile.TemporaryDirectory() as folder:
        stripped = os.path.join(folder, 'VelmarisDiag.exe')
        shutil.copy(exe, stripped)
        subprocess.run(['i686-w64-mingw32-strip', stripped], check=True)
        stripped_size = os.path.getsize(stripped)
    version = subprocess.run([wine, '--version'], capture_output=True, text=True).stdout.strip()
    width = '64-bit test build' if env['WINEARCH'] == 'win64' else '32-bit build'

    def ms(figures):
        return f"{float(figures['ms']):.0f} ms (min {float(figures['min']):.0f}, " \
               f"max {float(figures['max']):.0f})"

    ratio = float(app_start['ms']) / float(bare_start['ms'])
    hosting_ratio = float(app_start['ms']) / float(hosting_start['ms'])
    like_ratio = float(app_start['ms']) / float(like_start['ms'])
    # On a busy machine the medians carry other programs' load; the fastest starts hardly do.
    fastest_like_ratio = float(app_start['min']) / float(like_start['min'])
    print(f'Measured {datetime.date.today().isoformat()} with `make bench` ({version}, Xvfb, '
          f'{width}, {runs} starts of each program taking turns, medians):\n')
    print(f'- Start-up to the first painted window: {ms(app_start)}; the bare Win32 window '
          f'program {ms(bare_start)}, ratio {ratio:.2f}; the bare window that also starts OLE '
          f'and creates and activates the simulated component {ms(hosting_start)}, '
          f'ratio {hosting_ratio:.2f}; the same that also initialises the common controls under '
          f'the program\'s manifest and creates the form\'s controls {ms(like_start)}, '
          f'ratio {like_ratio:.2f}, '
          f'of the fastest starts {fastest_like_ratio:.2f} '
          f'(the aim: at most {LIKE_FOR_LIKE_AIM:.2f}).')
    print(f'- `VelmarisDiag.exe`: {os.path.getsize(exe):,} bytes as built, '
          f'{stripped_size:,} bytes stripped (`make dist`).')
    print(f'- Component calls per tick once connected: {calls / ticks:.2f} '
          f'({calls} calls in {ticks} ticks: {", ".join(kinds)}).')
    print(f"- Peak working set: {int(app_start['peak_kb']):,} KB at the first paint, "
          f"{int(app_held['peak_kb']):,} KB after {CONNECTED_SECONDS} s with the unit found; "
          f"the bare window {int(bare_start['peak_kb']):,} KB and "
          f"{int(bare_held['peak_kb']):,} KB; ratio "
          f"{int(app_held['peak_kb']) / int(bare_held['peak_kb']):.2f}; the like-for-like "
          f"yardstick {int(like_start['peak_kb']):,} KB at the first paint.")
    print(f"- What a scan without a unit adds at its end, with {devices['devices']} present "
          f"devices ({EXTRA_DEVICES} of them added, {devices['ports']} serial ports, "
          f"{devices['checked']} of them checked, as plain files of the prefix): the whole "
          f"section {ms(devices)}: reading what Windows sees {float(devices['read_ms']):.0f} ms, "
          f"the port check {float(devices['check_ms']):.0f} ms, the verdict "
          f"{float(devices['verdict_ms']):.1f} ms, the section's {devices['lines']} lines "
          f"(the verdict's {devices['verdict']} among them) {float(devices['lines_ms']):.1f} ms; "
          f"against the bare window's start-up in the same run, "
          f"{float(devices['ms']) / float(bare_start['ms']):.2f} (aim: at most 1.00).")
    added = float(silence['tick_ms']) - float(bare_silence['tick_ms'])
    print(f"- The window's silence at the end of a scan without a unit, probed from another "
          f"process (WM_NULL every 10 ms, medians of {SCAN_RUNS} scans), with the "
          f"{EXTRA_DEVICES} devices and without: the tick that ends the scan "
          f"{float(silence['tick_ms']):.0f} ms and {float(bare_silence['tick_ms']):.0f} ms, "
          f"{added:+.0f} ms (aim: at most +{TICK_AIM_MS}); the event that writes the section "
          f"{float(silence['section_ms']):.0f} ms and {float(bare_silence['section_ms']):.0f} ms "
          f"(aim: under {SECTION_AIM_MS} with the devices); from that tick's start to the "
          f"section {float(silence['to_section_ms']):.0f} ms and "
          f"{float(bare_silence['to_section_ms']):.0f} ms.")
    print(f"- Where that event's time goes, the section's {appends['n']} appends to a report pane "
          f"of the form's alone, after the head and the advice the program writes before them "
          f"(with the devices, medians): reading the whole text back "
          f"{float(appends['read_ms']):.0f} ms, setting it whole (Wine's own) "
          f"{float(appends['set_ms']):.0f} ms, the scroll bar's fit after each "
          f"{float(appends['fit_ms']):.0f} ms, or once at the end "
          f"{float(appends['fit_once_ms']):.1f} ms.")

if __name__ == '__main__':
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 10)
