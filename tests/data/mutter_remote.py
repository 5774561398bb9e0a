"""A remote desktop client of a headless mutter, for the tests: mutter ties its
RemoteDesktop and ScreenCast sessions to the bus connection that made them, so one
process holds them and offers the tests what they need on the same session bus, as
org.zorvan.MutterRemote at /: Shot(path) writes the monitors side by side, top-aligned,
as a PPM (black where a monitor has left the layout); Key(keysym name); Move(dx, dy) in
logical pixels; Click(). Frames come through PipeWire into GStreamer. The name is taken
once every monitor has sent a frame.

Usage: mutter_remote.py CONNECTOR... (the monitors, left to right)"""

import ctypes
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gio, GLib, Gst  # noqa: E402

NAME = "org.zorvan.MutterRemote"
INTERFACE = """
<node><interface name="org.zorvan.MutterRemote">
  <method name="Shot"><arg type="s" name="path" direction="in"/></method>
  <method name="Key"><arg type="s" name="keysym" direction="in"/></method>
  <method name="Move"><arg type="d" name="dx" direction="in"/><arg type="d" name="dy" direction="in"/></method>
  <method name="Click"/>
</interface></node>
"""
BTN_LEFT = 0x110
xkb = ctypes.CDLL("libxkbcommon.so.0")
xkb.xkb_keysym_from_name.restype = ctypes.c_uint32
xkb.xkb_keysym_from_name.argtypes = [ctypes.c_char_p, ctypes.c_int]

Gst.init(None)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
loop = GLib.MainLoop()


def call(path, interface, method, args=None, reply=None):
    name = "org.gnome.Mutter." + interface.split(".")[0]
    return bus.call_sync(name, path, "org.gnome.Mutter." + interface, method, args,
                         GLib.VariantType(reply) if reply else None, Gio.DBusCallFlags.NONE, -1, None)


class Monitor:
    """One monitor's screen cast: a session of its own, so that a monitor that goes
    ends only its own."""

    def __init__(self, connector):
        self.connector = connector
        self.shown = True  # in the layout: one taken out keeps its stream, but sends no frames
        self.frame = None  # (width, height, bytes) of the latest frame, BGRx or BGRA
        self.width = 0  # kept once the monitor has gone, for its black place
        self.lock = threading.Lock()
        self.pipeline = None
        self.session = call("/org/gnome/Mutter/ScreenCast", "ScreenCast", "CreateSession",
                            GLib.Variant("(a{sv})", ({},)), "(o)")[0]
        stream = call(self.session, "ScreenCast.Session", "RecordMonitor",
                      GLib.Variant("(sa{sv})", (connector, {"cursor-mode": GLib.Variant("u", 0)})), "(o)")[0]
        bus.signal_subscribe(None, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded", stream, None,
                             Gio.DBusSignalFlags.NONE, self.added)
        bus.signal_subscribe(None, "org.gnome.Mutter.ScreenCast.Session", "Closed", self.session, None,
                             Gio.DBusSignalFlags.NONE, self.closed)
        call(self.session, "ScreenCast.Session", "Start")

    def added(self, _bus, _sender, _path, _interface, _signal, parameters):
        node = parameters.unpack()[0]
        self.pipeline = Gst.parse_launch(
            f"pipewiresrc path={node} always-copy=true ! video/x-raw,format={{BGRx,BGRA}} ! "
            "appsink name=sink emit-signals=true max-buffers=1 drop=true sync=false")
        self.pipeline.get_by_name("sink").connect("new-sample", self.sample)
        self.pipeline.set_state(Gst.State.PLAYING)

    def sample(self, sink):
        sample = sink.emit("pull-sample")
        caps = sample.get_caps().get_structure(0)
        buffer = sample.get_buffer()
        ok, info = buffer.map(Gst.MapFlags.READ)
        if ok:
            frame = (caps.get_value("width"), caps.get_value("height"), bytes(info.data))
            buffer.unmap(info)
            with self.lock:
                first = self.frame is None
                self.frame, self.width = frame, frame[0]
            if first:
                GLib.idle_add(ready)
        return Gst.FlowReturn.OK

    def closed(self, *_):
        with self.lock:
            self.frame = None
        if self.pipeline:
            self.pipeline.set_state(Gst.State.NULL)

    def rgb(self):
        """The latest frame as rows of RGB bytes; None once the monitor has gone."""
        with self.lock:
            if self.frame is None or not self.shown:
                return None
            width, height, data = self.frame
        stride = len(data) // height
        rows = []
        for y in range(height):
            row = data[y * stride:y * stride + width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
            rows.append(rgb)
        return rows


monitors = []
remote = None


def ready():
    if all(m.frame for m in monitors) and not ready.done:
        ready.done = True
        Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, None, None)
    return False


ready.done = False


def layout_changed(*_):
    logical = call("/org/gnome/Mutter/DisplayConfig", "DisplayConfig", "GetCurrentState").unpack()[2]
    shown = {spec[0] for monitor in logical for spec in monitor[5]}
    for m in monitors:
        m.shown = m.connector in shown


def shot(path):
    parts = [m.rgb() for m in monitors]
    sizes = [(len(p[0]) // 3, len(p)) if p else (m.width, 0) for p, m in zip(parts, monitors)]
    width, height = sum(s[0] for s in sizes), max(s[1] for s in sizes)
    with open(path + ".new", "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            for (w, h), p in zip(sizes, parts):
                out.write(p[y] if p and y < h else bytes(w * 3))
    Gio.File.new_for_path(path + ".new").move(Gio.File.new_for_path(path), Gio.FileCopyFlags.OVERWRITE)


def method(_bus, _sender, _path, _interface, name, parameters, invocation):
    session = "RemoteDesktop.Session"
    try:
        if name == "Shot":
            shot(parameters.unpack()[0])
        elif name == "Key":
            keysym = xkb.xkb_keysym_from_name(parameters.unpack()[0].encode(), 0)
            if not keysym:
                raise ValueError("no keysym " + parameters.unpack()[0])
            for pressed in (True, False):
                call(remote, session, "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, pressed)))
        elif name == "Move":
            call(remote, session, "NotifyPointerMotionRelative", parameters)
        elif name == "Click":
            for pressed in (True, False):
                call(remote, session, "NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, pressed)))
        invocation.return_value(None)
    except Exception as e:  # the caller sees why
        invocation.return_dbus_error("org.zorvan.MutterRemote.Failed", str(e))


def main():
    global remote
    remote = call("/org/gnome/Mutter/RemoteDesktop", "RemoteDesktop", "CreateSession", None, "(o)")[0]
    call(remote, "RemoteDesktop.Session", "Start")
    # Mutter makes the session's keyboard and pointer at their first event, and the seat
    # offers them only then: a client would miss the first key. Both made now, before any.
    for pressed in (True, False):  # Shift_L
        call(remote, "RemoteDesktop.Session", "NotifyKeyboardKeysym", GLib.Variant("(ub)", (0xffe1, pressed)))
    call(remote, "RemoteDesktop.Session", "NotifyPointerMotionRelative", GLib.Variant("(dd)", (0.0, 0.0)))
    bus.signal_subscribe(None, "org.gnome.Mutter.DisplayConfig", "MonitorsChanged", "/org/gnome/Mutter/DisplayConfig",
                         None, Gio.DBusSignalFlags.NONE, layout_changed)
    bus.register_object("/", Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0], method, None, None)
    for connector in sys.argv[1:]:
        monitors.append(Monitor(connector))
    loop.run()


if __name__ == "__main__":
    main()
