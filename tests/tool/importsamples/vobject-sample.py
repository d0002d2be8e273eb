# SPDX-License-Identifier: GPL-3.0-or-later
import vobject
out = []
c = vobject.vCard()
c.add('n').value = vobject.vcard.Name(family='Oyelaran-Whitfield', given='Christabel', additional='', prefix='', suffix='')
c.add('fn').value = 'Christabel Oyelaran-Whitfield'
c.add('org').value = ['Whitfield & Daughters Shipping Company (Lagos Branch)']
a = c.add('adr'); a.value = vobject.vcard.Address(street='17 Marina Road, Suite 400, Harbour Tower East Wing', city='Lagos', region='LA', code='101001', country='Nigeria'); a.type_param = 'WORK'
t = c.add('tel'); t.value = '+234 1 555 0100'; t.type_param = 'WORK'
t = c.add('tel'); t.value = '+234 803 555 0101'; t.type_param = 'CELL'
e = c.add('email'); e.value = 'christabel@whitfield.example.ng'; e.type_param = 'INTERNET'
c.add('note').value = 'Ships to Apapa port.\nCall before 10:00; ask for "Chris".'
c.add('title').value = 'Managing Director'
c.add('uid').value = 'vobject-sample-1'
out.append(c.serialize())
d = vobject.vCard()
d.add('n').value = vobject.vcard.Name(family='Nguyễn', given='Thị Minh Khai')
d.add('fn').value = 'Nguyễn Thị Minh Khai'
t = d.add('tel'); t.value = '028 5555 0123'; t.type_param = 'HOME'
d.add('bday').value = '1985-11-02'
out.append(d.serialize())
import sys
open(sys.argv[1], 'w', newline='').write(''.join(out))
