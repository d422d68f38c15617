// Foxglove's own WebSocket client (@foxglove/ws-protocol over ws) against a
// program serving the Foxglove WebSocket protocol, started here on 127.0.0.1
// with a free port; the messages are decoded with the ROS 2 CDR reader from
// the advertised schema texts.
//
//   node foxglove_live.cjs bridge GX_BRIDGE SENSOR_PORT   gx_bridge against a sensor on 127.0.0.1
//   node foxglove_live.cjs viewer RO_VEZOVAD RECORDING     the viewer playing a recording, --serve-foxglove
//
// Prints one line per failure and exits 1, or prints "ok ..." and exits 0.
"use strict";
const { spawn } = require("node:child_process");
const { FoxgloveClient } = require("@foxglove/ws-protocol");
const { WebSocket } = require("ws");
const { parse } = require("@foxglove/rosmsg");
const { MessageReader } = require("@foxglove/rosmsg2-serialization");

const [mode, program, arg] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const deadline = setTimeout(() => finish("timed out"), 60000);

let child = null;
function finish(error) {
  if (error) failures.push(error);
  clearTimeout(deadline);
  if (child && child.exitCode === null) child.kill("SIGKILL");
  if (failures.length) { for (const f of failures) console.log("FAIL " + f); process.exit(1); }
  process.exit(0);
}

// Starts the server program and resolves with the ws:// address it prints.
function startServer(args, env, pattern) {
  return new Promise((resolve, reject) => {
    child = spawn(program, args, { env: { ...process.env, ...env }, stdio: ["ignore", "pipe", "pipe"] });
    let out = "", err = "";
    child.stdout.on("data", (d) => {
      out += d;
      const m = out.match(pattern);
      if (m) resolve(m[1]);
    });
    child.stderr.on("data", (d) => { err += d; });
    child.on("exit", (code) => reject(new Error(`${program} exited with ${code}: ${err}`)));
    child.output = () => out;
  });
}

// A FoxgloveClient that subscribes to `topics` and hands each decoded message
// to onMessage(topic, msg, timestamp).
function connect(url, topics, onMessage) {
  const client = new FoxgloveClient({ ws: new WebSocket(url, [FoxgloveClient.SUPPORTED_SUBPROTOCOL]) });
  const readers = new Map();
  client.on("error", (e) => finish("client error: " + (e.message || e)));
  client.on("advertise", (channels) => {
    for (const ch of channels) {
      if (!topics.includes(ch.topic)) continue;
      check(ch.encoding === "cdr" && ch.schemaEncoding === "ros2msg", "channel encodings of " + ch.topic);
      const reader = new MessageReader(parse(ch.schema, { ros2: true }));
      readers.set(client.subscribe(ch.id), { topic: ch.topic, reader });
    }
  });
  client.on("message", ({ subscriptionId, timestamp, data }) => {
    const r = readers.get(subscriptionId);
    if (!r) return failures.push("a message for unknown subscription " + subscriptionId);
    const bytes = new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    onMessage(r.topic, r.reader.readMessage(bytes), timestamp);
  });
  return client;
}

const stampNs = (h) => BigInt(h.stamp.sec) * 1000000000n + BigInt(h.stamp.nsec);

// True when the stamps rise from frame to frame.
const rising = (stamps) => stamps.length > 1 && stamps.every((t, i) => i === 0 || t > stamps[i - 1]);

// True when each step between the stamps is within half of the median step:
// a lost frame shows as a double step. For a recording, whose stamps are
// regular; a live sensor's stamps follow its clock and may jitter.
function consecutive(stamps) {
  const steps = stamps.slice(1).map((t, i) => Number(t - stamps[i])).sort((a, b) => a - b);
  const median = steps[Math.floor(steps.length / 2)];
  return median > 0 && steps.every((s) => s > median / 2 && s < median * 1.5);
}

function checkCloud(msg, timestamp, who) {
  check(msg.header.frame_id === "gx", who + ": frame id");
  check(stampNs(msg.header) === timestamp, who + ": message time and header stamp differ");
  check(msg.width * msg.height > 0 && msg.data.length === msg.row_step * msg.height, who + ": cloud size");
  check(msg.fields.map((f) => f.name).join(",") === "x,y,z,intensity,ambient", who + ": fields");
}

async function bridge() {
  const url = await startServer(["--device", "127.0.0.1:" + arg, "--local", "127.0.0.1:0", "--listen", "127.0.0.1:0"],
                                {}, /serving (ws:\/\/127\.0\.0\.1:\d+)/);
  const first = [], second = [], statuses = [];
  let secondClient = null, garbageAnswered = false, garbageStarted = false;
  const done = new Promise((resolve) => {
    connect(url, ["/gx/points", "/gx/status"], (topic, msg, timestamp) => {
      if (topic === "/gx/status") return statuses.push(msg);
      checkCloud(msg, timestamp, "first client");
      first.push(timestamp);
      if (first.length === 10) {
        secondClient = connect(url, ["/gx/points"], (t, m, ts) => { checkCloud(m, ts, "second client"); second.push(ts); });
      }
      if (first.length === 20) {
        garbageStarted = true;
        garbage(url, () => { garbageAnswered = true; });
      }
      if (first.length === 50) resolve();
    });
  });
  await done;
  check(rising(first), "the first client's stamps do not rise: " + first.join(" "));
  check(second.length >= 5 && rising(second), "the second client's frames: " + second.length);
  check(garbageStarted && garbageAnswered, "garbage was neither answered with a status nor closed");
  check(statuses.length > 0, "no status message");
  if (statuses.length) {
    const s = statuses[statuses.length - 1];
    check(typeof s.xadc_scan_count === "number" && typeof s.rx_temp === "number", "status fields: " + Object.keys(s));
  }
  secondClient.close();
  const exit = new Promise((resolve) => child.on("exit", (code, signal) => resolve({ code, signal })));
  child.kill("SIGINT");
  const { code } = await exit;
  check(code === 0, "gx_bridge exited with " + code + " after SIGINT");
  // Its last counters: the first client (the first to connect) lost no frame
  // to its queue, nor did any frame wait so long in the mailbox that the
  // next one replaced it; so the first client got every frame the bridge
  // received from its connection on.
  const out = child.output();
  check(/gx_bridge: stopped/.test(out), "gx_bridge printed no end line: " + out);
  const last = out.split("\n").filter((l) => l.startsWith("frames received")).pop() || "";
  check(/overwritten before serving 0;/.test(last), "frames were overwritten before serving: " + last);
  check(/client 1 \([^)]*\) sent \d+, dropped 0;/.test(last), "the first client lost frames: " + last);
  console.log(`ok: first client ${first.length} frames, second ${second.length}, ${statuses.length} status messages`);
}

// A client sending what the server must refuse: not JSON, an unknown op, an
// unknown channel, a reused subscription id, binary data, then a message over
// the size limit (which may close the connection). Each must be answered
// with a status (level 1 or 2) or end in a close.
function garbage(url, answered) {
  const ws = new WebSocket(url, [FoxgloveClient.SUPPORTED_SUBPROTOCOL]);
  let statuses = 0;
  ws.on("message", (data, isBinary) => {
    if (isBinary) return;
    const m = JSON.parse(data.toString());
    if (m.op === "status" && m.level >= 1) statuses++;
    if (statuses === 5) ws.send("x".repeat(200000));
  });
  ws.on("close", () => { if (statuses >= 5) answered(); });
  ws.on("error", () => {});
  ws.on("open", () => {
    ws.send("{not json");
    ws.send(JSON.stringify({ op: "launch" }));
    ws.send(JSON.stringify({ op: "subscribe", subscriptions: [{ id: 1, channelId: 99 }, { id: 2, channelId: 1 }] }));
    ws.send(JSON.stringify({ op: "subscribe", subscriptions: [{ id: 2, channelId: 2 }] }));
    ws.send(Buffer.from([1, 2, 3]));
  });
}

async function viewer() {
  const url = await startServer(["--play", arg, "--serve-foxglove", "127.0.0.1:0", "--quit-after", "120"],
                                { QT_QPA_PLATFORM: "offscreen" }, /server on (ws:\/\/127\.0\.0\.1:\d+)/);
  const stamps = [];
  await new Promise((resolve) => {
    connect(url, ["/gx/points"], (topic, msg, timestamp) => {
      checkCloud(msg, timestamp, "viewer");
      stamps.push(timestamp);
      if (stamps.length === 5) resolve();
    });
  });
  check(consecutive(stamps), "the viewer's frames are not consecutive: " + stamps.join(" "));
  console.log(`ok: ${stamps.length} frames from the viewer`);
}

(mode === "bridge" ? bridge() : viewer()).then(() => finish(), (e) => finish(String(e && e.stack || e)));
