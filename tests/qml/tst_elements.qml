import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import Config 1.0
import Elements 1.0

TestCase {
    id: testCase

    name: "Elements"
    width: 600
    height: 400
    visible: true
    when: windowShown

    function test_hspliterFollowsTheHandleOnRelease() {
        var spliter = createTemporaryObject(hspliterComponent, testCase);
        var left = findChild(spliter, "leftPane");
        var right = findChild(spliter, "rightPane");
        var handle = findChild(spliter, "handle");
        compare(left.width, 250, "the left pane starts 250 wide");
        compare(handle.width, 5);
        compare(right.x, 255);

        mouseDrag(handle, 2, 100, -150, 0);
        tryCompare(left, "width", handle.x, 2000, "the pane follows the dropped handle");
        verify(handle.x < 250, "the handle moved left: " + handle.x);
        tryCompare(right, "x", handle.x + handle.width);

        mouseDrag(handle, 2, 100, 1000, 0);
        tryCompare(handle, "x", spliter.width - handle.width, 2000, "the handle stays inside the spliter");
    }

    function test_vspliterStacksPanes() {
        var spliter = createTemporaryObject(vspliterComponent, testCase);
        var top = findChild(spliter, "topPane");
        var handle = findChild(spliter, "handle");
        compare(top.height, 250);
        mouseDrag(handle, 100, 2, 0, -100);
        tryCompare(top, "height", handle.y, 2000);
        verify(handle.y < 250);
    }

    function test_sidebarMenu() {
        var sidebar = createTemporaryObject(sidebarComponent, testCase);
        compare(sidebar.currentCode, "cameras");
        compare(sidebar.width, G.metrics.sidebar.closedWidth);
        clickedSpy.target = sidebar;
        var exit = findChild(sidebar, "menu_exit");
        verify(exit !== null, "the menu has an exit entry");
        compare(String(exit.source), "qrc:/images/sidebar/exit.svg");
        mouseClick(exit);
        clickedSpy.wait(2000);
        compare(clickedSpy.signalArguments[0][0], "exit");
        compare(sidebar.currentCode, "exit");

        sidebar.isOpen = true;
        tryCompare(sidebar, "width", G.metrics.sidebar.openedWidth, 3000);
    }

    function test_treeExpandsOnClick() {
        var model = createTemporaryObject(treeModelComponent, testCase);
        model.insertRow({ label: "Site", childItems: [{ label: "Camera 1" }, { label: "Doors", childItems: [] }] });
        var tree = createTemporaryObject(treeComponent, testCase, { model: model });
        waitForRendering(tree);
        var labels = function () {
            var found = [];
            var walk = function (item) {
                for (var i = 0; i < item.children.length; ++i) {
                    var child = item.children[i];
                    if (child.textFormat === Text.PlainText && child.visible)
                        found.push(child.text);
                    walk(child);
                }
            };
            walk(tree);
            return found;
        };
        compare(labels(), ["Site"], "children stay hidden until expanded");
        mouseClick(tree, 8, 8);
        tryVerify(function () { return labels().length === 3; }, 2000, "the expander shows the children: " + labels());
        compare(labels(), ["Site", "Camera 1", "Doors"]);
        mouseClick(tree, 8, 8);
        tryVerify(function () { return labels().length === 1; }, 2000, "and hides them again");
    }

    Component {
        id: hspliterComponent

        HSpliter {
            width: 600
            height: 300
        }
    }

    Component {
        id: vspliterComponent

        VSpliter {
            width: 300
            height: 400
        }
    }

    Component {
        id: sidebarComponent

        Sidebar {
            height: 300
        }
    }

    Component {
        id: treeModelComponent

        TreeModel {}
    }

    Component {
        id: treeComponent

        ETreeView {
            width: 300
            height: 300
        }
    }

    SignalSpy {
        id: clickedSpy

        signalName: "clicked"
    }
}
