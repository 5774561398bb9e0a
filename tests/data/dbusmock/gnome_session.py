'''gnome-session's manager, as much as mutter asks of it: the InhibitedActions property
(8: idle is inhibited), changed with the standard Properties.Set.'''

import dbus

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddProperty(MAIN_IFACE, 'InhibitedActions', dbus.UInt32(parameters.get('InhibitedActions', 0)))
