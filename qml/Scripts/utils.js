.pragma library
.import Native 1.0 as Native

// Small helpers shared by the pages; stateless.

function isValid(value) {
    return value !== undefined && value !== null
}

function isfunction(value) {
    return typeof value === "function"
}
