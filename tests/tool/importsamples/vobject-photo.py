# SPDX-License-Identifier: GPL-3.0-or-later
# Two vCard 3.0 cards with photos, written by Debian's python3-vobject: an inline JPEG
# (base64, folded by vobject) and a photo given by its address.
import base64
import sys

import vobject

# A tiny JPEG-like payload: the bytes matter only as binary data to keep whole.
payload = bytes(range(256)) * 3

c = vobject.vCard()
c.add('n').value = vobject.vcard.Name(family='Achterberg', given='Willemijn')
c.add('fn').value = 'Willemijn Achterberg'
p = c.add('photo')
p.value = payload
p.encoding_param = 'b'
p.type_param = 'JPEG'
t = c.add('tel'); t.value = '+31 20 555 0177'; t.type_param = ['CELL', 'HOME']
c.add('uid').value = 'vobject-photo-1'

d = vobject.vCard()
d.add('n').value = vobject.vcard.Name(family='Okafor', given='Chidi')
d.add('fn').value = 'Chidi Okafor'
u = d.add('photo'); u.value = 'https://example.org/chidi.jpg'; u.value_param = 'uri'
e = d.add('email'); e.value = 'chidi@example.org'; e.type_param = 'INTERNET'

open(sys.argv[1], 'w', newline='').write(c.serialize() + d.serialize())
