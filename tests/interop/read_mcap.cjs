// Reads an MCAP file written by gx_convert with Foxglove's own readers and
// checks it against what the converter's CSV files hold for the same frames.
//
//   node read_mcap.cjs full OUT.mcap CSVDIR     every frame of CSVDIR's index
//   node read_mcap.cjs partial OUT.mcap         a file cut back after a failed write
//
// Prints one line per failure and exits 1, or prints "ok ..." and exits 0.
"use strict";
const fs = require("node:fs");
const zlib = require("node:zlib");
const { McapIndexedReader, McapStreamReader } = require("@mcap/core");
const { decompress } = require("fzstd");
const { parse } = require("@foxglove/rosmsg");
const { MessageReader } = require("@foxglove/rosmsg2-serialization");

const [mode, path, csvDir] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const handlers = { zstd: (buf) => decompress(buf) };

// CRC-32 (zlib's), as the format uses.
const table = new Int32Array(256).map((_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c;
});
function crc32(bytes) {
  let c = -1;
  for (const b of bytes) c = table[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ -1) >>> 0;
}

function readCsv(file) {
  const rows = fs.readFileSync(file, "utf8").trim().split("\n");
  const head = rows.shift().split(",");
  const value = (v) => (v.toLowerCase() === "nan" ? NaN : Number.isNaN(Number(v)) || v === "" ? v : Number(v));
  return rows.map((r) => Object.fromEntries(r.split(",").map((v, i) => [head[i], value(v)])));
}

async function main() {
  const bytes = new Uint8Array(fs.readFileSync(path));
  const reader = await McapIndexedReader.Initialize({
    readable: { size: async () => BigInt(bytes.length), read: async (o, n) => bytes.subarray(Number(o), Number(o + n)) },
    decompressHandlers: handlers,
  });
  check(reader.header.profile === "ros2", `profile "${reader.header.profile}"`);
  check(crc32(bytes.subarray(0, Number(reader.dataEndOffset))) === reader.dataSectionCrc, "data section CRC");
  const groups = [...reader.summaryOffsetsByOpcode.keys()].sort((a, b) => a - b).join(",");
  check(groups === "3,4,8,11,13", `summary groups ${groups}`);

  // The stream reader checks every record's order and every chunk's CRC.
  const stream = new McapStreamReader({ decompressHandlers: handlers, includeChunks: true, validateCrcs: true });
  stream.append(bytes);
  const kinds = new Map();
  for (let rec; (rec = stream.nextRecord());) kinds.set(rec.type, (kinds.get(rec.type) ?? 0) + 1);
  check(stream.done(), "the stream reader did not reach the end");
  check(kinds.get("Footer") === 1 && kinds.get("DataEnd") === 1, "no data end or footer");

  const topics = new Map([...reader.channelsById.values()].map((c) => [c.topic, c]));
  const decoders = new Map();
  for (const [topic, c] of topics) {
    const schema = reader.schemasById.get(c.schemaId);
    check(c.messageEncoding === "cdr" && schema.encoding === "ros2msg", `${topic}: encodings`);
    check(c.metadata.has("offered_qos_profiles"), `${topic}: no offered_qos_profiles`);
    decoders.set(c.id, new MessageReader(parse(new TextDecoder().decode(schema.data), { ros2: true })));
  }
  check([...topics.keys()].sort().join(" ") === "/gx/ambient /gx/depth /gx/intensity /gx/points /gx/status",
        `topics ${[...topics.keys()]}`);
  const stats = reader.statistics;
  const counts = new Map();
  const messages = [];
  for await (const m of reader.readMessages()) {
    const topic = reader.channelsById.get(m.channelId).topic;
    counts.set(topic, (counts.get(topic) ?? 0) + 1);
    check(m.logTime === m.publishTime, `${topic}: publish time differs from log time`);
    const msg = decoders.get(m.channelId).readMessage(m.data);
    const stamp = BigInt(msg.header.stamp.sec) * 1000000000n + BigInt(msg.header.stamp.nsec);
    check(stamp === m.logTime && msg.header.frame_id === "gx", `${topic}: stamp or frame id`);
    messages.push({ topic, time: m.logTime, msg });
  }
  check(BigInt(messages.length) === stats.messageCount, `${messages.length} messages read, statistics say ${stats.messageCount}`);
  for (const [id, n] of stats.channelMessageCounts)
    check(BigInt(counts.get(reader.channelsById.get(id).topic) ?? 0) === n, `channel ${id}: count`);
  const meta = [];
  for await (const m of reader.readMetadata({ name: "gx_configuration" })) meta.push(m);
  check(meta.length === 1 && meta[0].metadata.has("lens_coe") && meta[0].metadata.has("stream_mode"), "gx_configuration");

  if (mode === "partial") {
    check(messages.length > 0, "no messages");
    return `${messages.length} messages in ${reader.chunkIndexes.length} whole chunks`;
  }

  const index = readCsv(`${csvDir}/index.csv`);
  const times = index.map((r) => BigInt(Math.round(r.time_s * 1e8)) * 10n);
  for (const topic of topics.keys()) check(counts.get(topic) === index.length, `${topic}: ${counts.get(topic)} messages for ${index.length} frames`);
  check(stats.messageStartTime === times[0] && stats.messageEndTime === times[times.length - 1], "time range");
  let worst = 0, worstRange = 0;
  index.forEach((row, k) => {
    const at = (topic) => messages.find((m) => m.topic === topic && m.time === times[k])?.msg;
    const cloud = at("/gx/points"), depth = at("/gx/depth"), status = at("/gx/status");
    const ambient = at("/gx/ambient"), intensity = at("/gx/intensity");
    if (!cloud || !depth || !status || !ambient || !intensity) return check(false, `frame ${k}: a topic is missing`);
    const points = readCsv(`${csvDir}/${row.cloud}`);
    check(cloud.height * cloud.width === points.length && depth.encoding === "32FC1", `frame ${k}: size`);
    check(ambient.encoding === "mono16" && intensity.step === 2 * intensity.width, `frame ${k}: image encodings`);
    check(cloud.fields.map((f) => f.name).join(" ") === "x y z intensity ambient" && !cloud.is_dense, `frame ${k}: fields`);
    const pv = new DataView(cloud.data.buffer, cloud.data.byteOffset, cloud.data.byteLength);
    const dv = new DataView(depth.data.buffer, depth.data.byteOffset, depth.data.byteLength);
    const iv = new DataView(intensity.data.buffer, intensity.data.byteOffset, intensity.data.byteLength);
    for (const p of points) {
      const i = p.row * cloud.width + p.col;
      const [x, y, z] = [0, 4, 8].map((o) => pv.getFloat32(i * cloud.point_step + o, true));
      const d = dv.getFloat32(4 * i, true);
      check(iv.getUint16(2 * i, true) === p.intensity, `frame ${k} pixel ${i}: intensity`);
      if (Number.isNaN(p.x)) {
        check(Number.isNaN(x) && Number.isNaN(d), `frame ${k} pixel ${i}: a return without one in CSV`);
        continue;
      }
      // x y z as the CSV's float32 numbers (its shortest texts read back as
      // float32); the range as float32, so within two float roundings
      // (2^-23 of it) of the CSV point's distance.
      const [cx, cy, cz] = [p.x, p.y, p.z].map(Math.fround);
      const e = Math.max(Math.abs(x - cx), Math.abs(y - cy), Math.abs(z - cz));
      const range = Math.hypot(cx, cy, cz), ed = Math.abs(d - range);
      worst = Math.max(worst, e);
      worstRange = Math.max(worstRange, ed / range);
      if (e > 1e-6 || ed > 1e-6 + range * 2 ** -23) check(false, `frame ${k} pixel ${i}: off by ${e} m, range by ${ed} m`);
    }
    check(status.xadc_scan_count === row.record && Math.abs(status.rx_temp - (30 + row.record)) < 1e-4, `frame ${k}: status`);
  });
  return `${index.length} frames, ${messages.length} messages, x y z within ${worst.toExponential(2)} m, ranges within ${worstRange.toExponential(2)} of the range`;
}

main().then((summary) => {
  if (failures.length) {
    for (const f of failures.slice(0, 20)) console.log(f);
    console.log(`${failures.length} failures`);
    process.exit(1);
  }
  console.log(`ok ${summary}`);
}, (e) => { console.log(`error: ${e.stack ?? e}`); process.exit(1); });
