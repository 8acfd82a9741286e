#!/usr/bin/python3
# Captures one small frame from Debian's CCD simulator and writes it as received.
# Usage: capture_simulator_fits.py OUTPUT.fits [WIDTH HEIGHT]
# Runs its own indiserver on a free 127.0.0.1 port with a temporary HOME.
import base64, os, re, socket, subprocess, sys, tempfile, time

out = sys.argv[1]
width = int(sys.argv[2]) if len(sys.argv) > 2 else 96
height = int(sys.argv[3]) if len(sys.argv) > 3 else 64

s = socket.socket(); s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]; s.close()
home = tempfile.mkdtemp()
server = subprocess.Popen(["indiserver", "-p", str(port), "-u", os.path.join(home, "sock"),
                           "indi_simulator_ccd"], env=dict(os.environ, HOME=home),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    for _ in range(100):
        try:
            c = socket.create_connection(("127.0.0.1", port)); break
        except OSError:
            time.sleep(0.05)
    dev = "CCD Simulator"
    def send(x): c.sendall(x.encode())
    buf = b""
    def wait_for(pattern, timeout=10):
        global buf
        end = time.time() + timeout
        c.settimeout(0.2)
        while time.time() < end:
            m = re.search(pattern, buf, re.S)
            if m:
                buf = buf[m.end():]
                return m
            try:
                chunk = c.recv(1 << 20)
                if not chunk: break
                buf += chunk
            except socket.timeout:
                pass
        raise SystemExit("timed out waiting for %r" % pattern)
    send("<getProperties version='1.7'/>")
    wait_for(rb'name="CONNECTION"')
    send(f"<newSwitchVector device='{dev}' name='CONNECTION'><oneSwitch name='CONNECT'>On</oneSwitch></newSwitchVector>")
    wait_for(rb'name="CCD_FRAME".*?</setNumberVector>')
    time.sleep(0.5)
    # Strong noise, so the frame spans a wide range of 16-bit values.
    send(f"<newNumberVector device='{dev}' name='SIMULATOR_SETTINGS'>"
         f"<oneNumber name='SIM_NOISE'>3000</oneNumber></newNumberVector>")
    time.sleep(0.5)
    send(f"<newNumberVector device='{dev}' name='CCD_FRAME'><oneNumber name='X'>0</oneNumber><oneNumber name='Y'>0</oneNumber>"
         f"<oneNumber name='WIDTH'>{width}</oneNumber><oneNumber name='HEIGHT'>{height}</oneNumber></newNumberVector>")
    time.sleep(0.5)
    send(f"<enableBLOB device='{dev}'>Also</enableBLOB>")
    send(f"<newNumberVector device='{dev}' name='CCD_EXPOSURE'><oneNumber name='CCD_EXPOSURE_VALUE'>1</oneNumber></newNumberVector>")
    m = wait_for(rb'<oneBLOB[^>]*len="(\d+)"[^>]*>\s*([A-Za-z0-9+/=]+)\s*</oneBLOB>', 30)
    data = base64.b64decode(m.group(2))[: int(m.group(1))]
    with open(out, "wb") as f:
        f.write(data)
    print(out, len(data))
finally:
    server.terminate(); server.wait()
