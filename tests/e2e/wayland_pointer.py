# A virtual pointer on a wlroots compositor (zwlr_virtual_pointer_manager_v1), spoken on the
# Wayland socket directly: each message is the object, its size and opcode, then its arguments.
import os
import socket
import struct

BUTTON_LEFT, BUTTON_RIGHT = 0x110, 0x111


def text(value):
    data = value + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class VirtualPointer:  # object 1 is the display, 2 its registry; each new one takes the next number
    def __init__(self, env):
        self.connection = socket.socket(socket.AF_UNIX)
        self.connection.connect(os.path.join(env["XDG_RUNTIME_DIR"], env["WAYLAND_DISPLAY"]))
        self.time, self.last, self.received = 0, 2, b""
        self.send(1, 1, struct.pack("<I", 2))  # get_registry
        names = {}
        for target, opcode, body in self.round_trip():
            if (target, opcode) == (2, 0):  # a global: its name, interface and version
                length = struct.unpack_from("<I", body, 4)[0]
                names[body[8:7 + length]] = struct.unpack_from("<I", body)[0]
        seat, manager = (self.bind(names, interface) for interface in (b"wl_seat", b"zwlr_virtual_pointer_manager_v1"))
        self.pointer = self.new()
        self.send(manager, 0, struct.pack("<II", seat, self.pointer))  # create_virtual_pointer on the seat
        self.round_trip()

    def new(self):
        self.last += 1
        return self.last

    def bind(self, names, interface):
        made = self.new()
        self.send(2, 0, struct.pack("<I", names[interface]) + text(interface) + struct.pack("<II", 1, made))
        return made

    def send(self, target, opcode, arguments=b""):
        self.connection.sendall(struct.pack("<II", target, (8 + len(arguments)) << 16 | opcode) + arguments)

    def round_trip(self):  # the events that came before the compositor had handled everything sent
        callback = self.new()
        self.send(1, 0, struct.pack("<I", callback))  # sync
        events = []
        while True:
            while len(self.received) >= 8 and len(self.received) >= struct.unpack_from("<I", self.received, 4)[0] >> 16:
                target, word = struct.unpack_from("<II", self.received)
                event, self.received = (target, word & 0xFFFF, self.received[8:word >> 16]), self.received[word >> 16:]
                assert event[:2] != (1, 0), f"protocol error: {event[2]!r}"
                if event[:2] == (callback, 0):
                    return events
                events.append(event)
            chunk = self.connection.recv(65536)
            assert chunk, "the compositor closed the connection"
            self.received += chunk

    def at(self, x, y, extent):  # motion_absolute to a point of the output layout of that size, and frame
        self.time += 1
        self.send(self.pointer, 1, struct.pack("<IIIII", self.time, x, y, *extent))
        self.send(self.pointer, 4)

    def button(self, button, pressed):
        self.time += 1
        self.send(self.pointer, 2, struct.pack("<III", self.time, button, int(pressed)))
        self.send(self.pointer, 4)

    def close(self):
        self.round_trip()
        self.connection.close()
