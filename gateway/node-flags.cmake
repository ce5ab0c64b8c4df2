# The options of Node.js (V8) each gateway's launcher gives it; the README says why.
# The OPC UA gateway: a young generation of at most 8 MB a half, and an old generation let grow
# to 1.6 times what survived the last full collection, so that the garbage of ten thousand
# changes a second does not keep the heap at several times its live size.
set(GATEWAY_NODE_FLAGS_opcua "--max-semi-space-size=8 --heap-growing-percent=60")
set(GATEWAY_NODE_FLAGS_mqtt "")
set(GATEWAY_NODE_FLAGS_web "")
