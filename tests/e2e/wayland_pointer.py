# A virtual pointer on a wlroots compositor (zwlr_virtual_pointer_manager_v1), spoken on the
# Wayland socket directly: each message is the object, its size and opcode, then its arguments.
import os
import socket
import struct

DISPLAY, REGISTRY = 1, 2
GET_REGISTRY, SYNC, BIND, GLOBAL, DONE, ERROR = 1, 0, 0, 0, 0, 0
CREATE_VIRTUAL_POINTER, MOTION_ABSOLUTE, BUTTON, FRAME = 0, 1, 2, 4
BUTTON_LEFT, BUTTON_RIGHT = 0x110, 0x111
MANAGER = b"zwlr_virtual_pointer_manager_v1"


def text(value):
    data = value + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class VirtualPointer:
    def __init__(self, env):
        self.connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.connection.connect(os.path.join(env["XDG_RUNTIME_DIR"], env["WAYLAND_DISPLAY"]))
        self.next_id, self.time, self.received = REGISTRY, 0, b""
        self.send(DISPLAY, GET_REGISTRY, struct.pack("<I", self.new_id()))
        globals_ = {interface: (name, version) for name, interface, version in self.globals()}
        self.seat = self.bind(globals_, b"wl_seat")
        manager = self.bind(globals_, MANAGER)
        self.pointer = self.new_id()
        self.send(manager, CREATE_VIRTUAL_POINTER, struct.pack("<II", self.seat, self.pointer))
        self.round_trip()

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, target, opcode, arguments=b""):
        self.connection.sendall(struct.pack("<II", target, (8 + len(arguments)) << 16 | opcode) + arguments)

    def bind(self, globals_, interface):
        name, version = globals_[interface]
        made = self.new_id()
        self.send(REGISTRY, BIND, struct.pack("<I", name) + text(interface) + struct.pack("<II", min(version, 1), made))
        return made

    def events(self, until):  # (object, opcode, arguments) up to the done of the callback until
        while True:
            while len(self.received) >= 8:
                target, word = struct.unpack_from("<II", self.received)
                if len(self.received) < word >> 16:
                    break
                body, self.received = self.received[8:word >> 16], self.received[word >> 16:]
                assert (target, word & 0xFFFF) != (DISPLAY, ERROR), f"protocol error: {body!r}"
                if (target, word & 0xFFFF) == (until, DONE):
                    return
                yield target, word & 0xFFFF, body
            chunk = self.connection.recv(65536)
            assert chunk, "the compositor closed the connection"
            self.received += chunk

    def round_trip(self):  # everything sent so far has been handled
        callback = self.new_id()
        self.send(DISPLAY, SYNC, struct.pack("<I", callback))
        return list(self.events(callback))

    def globals(self):
        callback = self.new_id()
        self.send(DISPLAY, SYNC, struct.pack("<I", callback))
        for target, opcode, body in self.events(callback):
            if (target, opcode) == (REGISTRY, GLOBAL):
                name, length = struct.unpack_from("<II", body)
                yield name, body[8:8 + length - 1], struct.unpack_from("<I", body, 8 + length + (-length % 4))[0]

    def at(self, x, y, extent):  # a point of the output layout, of the size extent
        self.time += 1
        self.send(self.pointer, MOTION_ABSOLUTE, struct.pack("<IIIII", self.time, x, y, *extent))
        self.send(self.pointer, FRAME)

    def button(self, button, pressed):
        self.time += 1
        self.send(self.pointer, BUTTON, struct.pack("<III", self.time, button, int(pressed)))
        self.send(self.pointer, FRAME)

    def close(self):
        self.round_trip()
        self.connection.close()
