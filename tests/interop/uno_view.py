"""Prints the frozen panes of each sheet of a workbook as LibreOffice Calc shows them, one
line per sheet: "NAME ROWS COLUMNS" (0 0 when not frozen). With a fourth argument "view",
first "active NAME" (the sheet the document opens on), and each line goes on with the
sheet's tab colour (0xRRGGBB, -1 none), the zoom and whether the sheet is visible (1 or 0). LibreOffice reads frozen panes
of this format only through its XSLT filter, and only a loaded document tells them.

Usage: uno_view.py WORKBOOK PROFILE_DIR FILTER. Needs Debian's python3-uno (run it with the
system's python3); exits 77 when that is missing."""
import os
import subprocess
import sys
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
except ImportError:
    print("python3-uno is not installed")
    sys.exit(77)


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def main(path, profile, filter_name, extra=""):
    pipe = "gridquill%d" % os.getpid()
    office = subprocess.Popen(["soffice", "-env:UserInstallation=file://" + os.path.abspath(profile),
                               "--headless", "--norestore", "--invisible",
                               "--accept=pipe,name=%s;urp;" % pipe],
                              stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    try:
        for _ in range(240):
            try:
                remote = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                time.sleep(0.5)
        else:
            raise RuntimeError("LibreOffice did not answer")
        desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                           (prop("Hidden", True), prop("FilterName", filter_name)))
        controller = doc.getCurrentController()
        if extra == "view":
            print("active", controller.getActiveSheet().Name)
        for sheet in doc.Sheets:
            controller.setActiveSheet(sheet)
            frozen = controller.hasFrozenPanes()
            line = [sheet.Name, controller.getSplitRow() if frozen else 0,
                    controller.getSplitColumn() if frozen else 0]
            if extra == "view":
                line += ["0x%06X" % sheet.TabColor if sheet.TabColor >= 0 else -1,
                         controller.ZoomValue, 1 if sheet.IsVisible else 0]
            print(*line)
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:  # the bridge goes down with the office
            pass
    finally:
        try:
            office.wait(timeout=60)
        except subprocess.TimeoutExpired:
            office.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
