import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0

TestCase {
    id: testCase

    name: "EToolButton"
    width: 200
    height: 200
    visible: true
    when: windowShown

    function test_overlayFollowsHoverAndPress() {
        var overlay = findChild(button, "overlay");
        verify(overlay !== null, "the button has an overlay");
        mouseMove(testCase, 150, 150);
        tryCompare(overlay, "visible", false);

        mouseMove(button, 10, 10);
        tryCompare(overlay, "visible", true);
        compare(overlay.opacity, G.theme.overlayHoverOpacity, "0.4 while hovered");
        compare(overlay.color, G.theme.overlay);

        mousePress(button, 10, 10);
        tryCompare(overlay, "opacity", G.theme.overlayPressedOpacity);
        mouseRelease(button, 10, 10);
        tryCompare(overlay, "opacity", G.theme.overlayHoverOpacity);

        mouseMove(testCase, 150, 150);
        tryCompare(overlay, "visible", false);
    }

    function test_clickIsDelayedAndImagePadded() {
        var image = null;
        for (var i = 0; i < button.children.length; ++i) {
            if (button.children[i].sourceSize !== undefined)
                image = button.children[i];
        }
        verify(image !== null, "the button draws an image");
        compare(image.x, button.padding);
        compare(image.y, button.padding);
        compare(image.sourceSize.width, button.width - 2 * button.padding);
        compare(image.status, Image.Ready, "the icon loads from the resources");

        clickedSpy.clear();
        mouseClick(button);
        compare(clickedSpy.count, 0, "clicks come through the delayed mouse area");
        clickedSpy.wait(2000);
    }

    EToolButton {
        id: button

        width: 50
        height: 50
        source: "qrc:/images/layout.svg"
    }

    SignalSpy { id: clickedSpy; target: button; signalName: "clicked" }
}
