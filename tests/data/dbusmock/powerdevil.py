'''KDE PowerDevil's policy agent, as much as the idle daemon asks of it: HasInhibition
and the InhibitionsChanged signal. SetInhibited(b) on the mock interface changes it.'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.kde.Solid.PowerManagement.PolicyAgent'
MAIN_OBJ = '/org/kde/Solid/PowerManagement/PolicyAgent'
MAIN_IFACE = 'org.kde.Solid.PowerManagement.PolicyAgent'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.inhibited = bool(parameters.get('inhibited', False))
    # Policy 4 is ChangeScreenSettings, which a video player inhibits.
    mock.AddMethod(MAIN_IFACE, 'HasInhibition', 'u', 'b', 'ret = self.inhibited and (args[0] & 4) != 0')


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetInhibited(self, inhibited):
    self.inhibited = bool(inhibited)
    added = [('player', 'video')] if inhibited else []
    removed = [] if inhibited else ['player']
    self.EmitSignal(MAIN_IFACE, 'InhibitionsChanged', 'a(ss)as',
                    [dbus.Array(added, signature='(ss)'), dbus.Array(removed, signature='s')])
