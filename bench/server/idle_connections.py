"""Opens COUNT TLS keep-alive connections to vrel-server on loopback, each answering one
request and then left idle, then times a new client's request (connect, handshake, GET
/healthz) and one more request on an idle connection, and prints the server's resident memory
before and after. Usage: idle_connections.py PORT COUNT SERVER_PID"""
import resource
import socket
import ssl
import sys
import time

port, count, pid = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
context = ssl.create_default_context()
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE  # the benchmark's own certificate
REQUEST = b"GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\n"


def rss_kib():
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])


def ask(connection):
    connection.sendall(REQUEST)
    answer = b""
    while not answer.endswith(b"}"):
        answer += connection.recv(4096)
    assert answer.startswith(b"HTTP/1.1 200 "), answer[:40]


def connect():
    raw = socket.create_connection(("127.0.0.1", port))
    return context.wrap_socket(raw, server_hostname="localhost")


before = rss_kib()
idle = []
for _ in range(count):
    idle.append(connect())
    ask(idle[-1])
time.sleep(1)
loaded = rss_kib()
timings = []
for _ in range(20):
    start = time.perf_counter()
    fresh = connect()
    ask(fresh)
    timings.append((time.perf_counter() - start) * 1000)
    fresh.close()
    time.sleep(0.05)
start = time.perf_counter()
ask(idle[0])
reuse = (time.perf_counter() - start) * 1000
timings.sort()
print(f"{count} idle TLS keep-alive connections open")
print(f"new client (connect + TLS handshake + GET /healthz), 20 tries: median {timings[10]:.1f} ms, "
      f"max {timings[-1]:.1f} ms")
print(f"a request on one of the idle connections: {reuse:.1f} ms")
print(f"server RSS: {before} KiB before, {loaded} KiB with {count} connections "
      f"({(loaded - before) / count:.1f} KiB a connection)")
