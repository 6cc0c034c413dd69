# Reads an XLSX workbook of one sheet with Python's own zip and XML modules, following the package's
# relationships from the root to the sheet and its styles, and prints what it holds as JSON: the sheet's
# name, frozen pane, outline settings, column widths and every row with its cells, each cell as
# [reference, value, bold, number format]. Every part must be well-formed XML.
import json, sys, zipfile, xml.etree.ElementTree as ET
M = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
R = '{http://schemas.openxmlformats.org/package/2006/relationships}'
T = '{http://schemas.openxmlformats.org/package/2006/content-types}'
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
parts = {name: ET.fromstring(z.read(name)) for name in z.namelist()}
declared = {o.get('PartName') for o in parts['[Content_Types].xml'].iter(T + 'Override')}
def target(rels, kind):
    return next(r.get('Target') for r in parts[rels].iter(R + 'Relationship')
                if r.get('Type').endswith('/' + kind))
book = target('_rels/.rels', 'officeDocument')
sheet = 'xl/' + target('xl/_rels/workbook.xml.rels', 'worksheet')
styles = 'xl/' + target('xl/_rels/workbook.xml.rels', 'styles')
assert {'/' + book, '/' + sheet, '/' + styles} <= declared
xfs = list(parts[styles].find(M + 'cellXfs'))
fonts = list(parts[styles].find(M + 'fonts'))
def cell(c):
    xf = xfs[int(c.get('s', '0'))]
    if c.get('t') == 'inlineStr':
        value = ''.join(t.text or '' for t in c.iter(M + 't'))
    else:
        value = float(c.find(M + 'v').text)
    return [c.get('r'), value, fonts[int(xf.get('fontId'))].find(M + 'b') is not None, int(xf.get('numFmtId'))]
ws = parts[sheet]
pane = ws.find(M + 'sheetViews/' + M + 'sheetView/' + M + 'pane')
print(json.dumps({
    'name': parts[book].find(M + 'sheets/' + M + 'sheet').get('name'),
    'pane': [pane.get('ySplit'), pane.get('topLeftCell'), pane.get('state')],
    'outlineLevelRow': ws.find(M + 'sheetFormatPr').get('outlineLevelRow'),
    'summaryBelow': ws.find(M + 'sheetPr/' + M + 'outlinePr').get('summaryBelow'),
    'widths': [float(c.get('width')) for c in ws.iter(M + 'col')],
    'rows': [[row.get('r'), row.get('outlineLevel', '0'), row.get('hidden') == '1', row.get('collapsed') == '1',
              [cell(c) for c in row.iter(M + 'c')]] for row in ws.iter(M + 'row')]}))
