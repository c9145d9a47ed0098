// The second judge: ajv 8 with ajv-formats, on schemas whose keywords are combined at random and
// instances made at random, for drafts 7, 2019-09 and 2020-12 (ajv's three). The verdicts of the
// validator (through the schema_judge filter) and of ajv agree, or the case is of a kind listed in
// DEPARTURES, where ajv departs from the JSON Schema suite.
//
//   SCHEMA_JUDGE=build/default/tests/schema_judge node --test tests/schema/ajv/judge.test.mjs

import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { test } from "node:test";

import Ajv7 from "ajv";
import Ajv2019 from "ajv/dist/2019.js";
import Ajv2020 from "ajv/dist/2020.js";
import addFormats from "ajv-formats";

const ROUNDS = 400;   // schemas per draft
const INSTANCES = 12; // instances per schema

/// Whether some schema object within `schema` satisfies `test`.
function holds(schema, test) {
  const pending = [schema];
  while (pending.length > 0) {
    const value = pending.pop();
    if (value === null || typeof value !== "object") continue;
    if (!Array.isArray(value) && test(value)) return true;
    pending.push(...Object.values(value));
  }
  return false;
}

// Where ajv departs from the suite, by what the case holds; each verdict of such a case is left
// uncompared.
const DEPARTURES = [
  // Draft 7 ignores the keywords beside a $ref (the suite's draft7/ref.json, "ref overrides any
  // sibling keywords"); ajv 8 applies them in every draft.
  (draft, schema) => draft === "7" &&
    holds(schema, (object) => "$ref" in object && Object.keys(object).length > 1),
  // ajv counts the elements a contains matched in a branch that fails as evaluated, where the
  // suite drops a failing branch's annotations (unevaluatedItems.json, "unevaluatedItems with
  // contains" and "unevaluatedItems can see annotations from if without then and else").
  (draft, schema) => draft !== "7" && holds(schema, (object) => "unevaluatedItems" in object) &&
    holds(schema, (object) => "contains" in object),
];

/// A generator of numbers from a seed, so that a failure can be replayed.
function random(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state * 1664525 + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

function pick(rng, items) {
  return items[Math.floor(rng() * items.length)];
}

const STRINGS = ["", "a", "ab", "abc", "aaaa", "b", "x1", "é", "1", "2024-02-29", "2023-02-29",
  "2024-01-01T10:00:00Z", "10:00:00Z", "a@b.example", "a@", "127.0.0.1", "256.1.1.1", "::1",
  "1::2::3", "http://a.example/x", "not a uri", "550e8400-e29b-41d4-a716-446655440000", "/a/b",
  "a/b", "host.example", "-host"];
const KEYS = ["a", "b", "c", "aa", "b1", "x"];

function instance(rng, depth) {
  switch (Math.floor(rng() * (depth > 2 ? 5 : 7))) {
    case 0: return null;
    case 1: return rng() < 0.5;
    case 2: return pick(rng, [0, 1, 2, 3, 4, -1, 7, 10, 100, 2.5, 0.5, -0.25, 1.5]);
    case 3: case 4: return pick(rng, STRINGS);
    case 5: {
      const array = [];
      for (let i = Math.floor(rng() * 5); i > 0; --i) array.push(instance(rng, depth + 1));
      return array;
    }
    default: {
      const object = {};
      for (let i = Math.floor(rng() * 4); i > 0; --i) object[pick(rng, KEYS)] = instance(rng, depth + 1);
      return object;
    }
  }
}

function schemaOf(rng, draft, depth, refs = true) {
  if (depth > 2 && rng() < 0.5) return rng() < 0.8 || draft === "4";
  const later = draft !== "7";
  const schema = {};
  const sub = () => schemaOf(rng, draft, depth + 1, refs);
  const keywords = [
    () => { schema.type = pick(rng, ["null", "boolean", "integer", "number", "string", "array",
      "object", ["string", "integer"], ["array", "object"]]); },
    () => { schema.enum = [instance(rng, 3), instance(rng, 3), pick(rng, STRINGS)]; },
    () => { schema.const = instance(rng, 2); },
    () => { schema.minimum = pick(rng, [0, 1, 2.5]); },
    () => { schema.maximum = pick(rng, [1, 3, 10]); },
    () => { schema.exclusiveMinimum = pick(rng, [0, 1]); },
    () => { schema.exclusiveMaximum = pick(rng, [2, 10]); },
    () => { schema.multipleOf = pick(rng, [2, 3, 0.5, 0.25]); },
    () => { schema.minLength = pick(rng, [1, 2]); },
    () => { schema.maxLength = pick(rng, [1, 3]); },
    () => { schema.pattern = pick(rng, ["^a", "b$", "[0-9]", "^\\p{L}+$", "^.$", "a{2}"]); },
    () => { schema.format = pick(rng, ["date", "date-time", "time", "email", "ipv4", "ipv6",
      "uri", "uuid", "json-pointer", "hostname"]); },
    () => { schema.minItems = pick(rng, [1, 2]); },
    () => { schema.maxItems = pick(rng, [0, 2]); },
    () => { schema.uniqueItems = true; },
    () => { schema.items = sub(); },
    () => {
      if (draft === "2020-12") schema.prefixItems = [sub(), sub()];
      else { schema.items = [sub(), sub()]; if (rng() < 0.5) schema.additionalItems = sub(); }
    },
    () => { schema.contains = sub(); if (later && rng() < 0.5) schema.minContains = pick(rng, [0, 2]);
      if (later && rng() < 0.5) schema.maxContains = 1; },
    () => { schema.properties = { a: sub(), b: sub() }; },
    () => { schema.patternProperties = { "^b": sub() }; },
    () => { schema.additionalProperties = sub(); },
    () => { schema.required = [pick(rng, KEYS)]; },
    () => { schema.propertyNames = { maxLength: 1 }; },
    () => { schema.minProperties = 1; },
    () => { schema.maxProperties = 2; },
    () => { if (later) schema.dependentRequired = { a: ["b"] }; else schema.dependencies = { a: ["b"] }; },
    () => { if (later) schema.dependentSchemas = { a: sub() }; else schema.dependencies = { a: sub() }; },
    () => { schema.allOf = [sub(), sub()]; },
    () => { schema.anyOf = [sub(), sub()]; },
    () => { schema.oneOf = [sub(), sub()]; },
    () => { schema.not = sub(); },
    () => { schema.if = sub(); schema.then = sub(); if (rng() < 0.5) schema.else = sub(); },
    () => { if (later) schema.unevaluatedProperties = sub(); },
    () => { if (later) schema.unevaluatedItems = sub(); },
    () => { if (refs) schema.$ref = "#/definitions/d"; },
  ];
  for (let i = 1 + Math.floor(rng() * 3); i > 0; --i) pick(rng, keywords)();
  return schema;
}

function ajvFor(draft) {
  const Ajv = draft === "2020-12" ? Ajv2020.default ?? Ajv2020
    : draft === "2019-09" ? Ajv2019.default ?? Ajv2019 : Ajv7.default ?? Ajv7;
  const ajv = new Ajv({ strict: false, validateFormats: true });
  (addFormats.default ?? addFormats)(ajv);
  return ajv;
}

function judge() {
  const program = process.env.SCHEMA_JUDGE;
  assert.ok(program, "SCHEMA_JUDGE names the validator's filter (tests/schema_judge)");
  const child = spawn(program, [], { stdio: ["pipe", "pipe", "inherit"] });
  const lines = createInterface({ input: child.stdout });
  const waiting = [];
  lines.on("line", (line) => waiting.shift()(JSON.parse(line)));
  return {
    ask: (request) => new Promise((resolve) => {
      waiting.push(resolve);
      child.stdin.write(JSON.stringify(request) + "\n");
    }),
    close: () => child.stdin.end(),
  };
}

for (const draft of ["7", "2019-09", "2020-12"]) {
  test(`ajv and the validator agree on generated schemas of draft ${draft}`, async () => {
    const filter = judge();
    const ajv = ajvFor(draft);
    const rng = random(draft.length * 7919 + 11);
    let compared = 0, skipped = 0;
    const disagreements = [];
    try {
      for (let round = 0; round < ROUNDS; ++round) {
        const schema = schemaOf(rng, draft, 0);
        const root = typeof schema === "object" ? schema : { allOf: [schema] };
        root.definitions = { d: schemaOf(rng, draft, 2, false) };
        const instances = Array.from({ length: INSTANCES }, () => instance(rng, 0));
        let validate;
        try {
          validate = ajv.compile(root);
        } catch (error) {
          continue;  // a schema ajv refuses: its verdicts are none to compare
        }
        const answer = await filter.ask({ draft, schema: root, instances });
        if (answer.refused) {
          disagreements.push({ schema: root, refused: answer.refused });
          continue;
        }
        if (DEPARTURES.some((departure) => departure(draft, root))) {
          skipped += instances.length;
          continue;
        }
        instances.forEach((value, i) => {
          const theirs = validate(value);
          ++compared;
          if (theirs !== answer.valid[i]) {
            disagreements.push({ schema: root, instance: value, ajv: theirs, ours: answer.valid[i] });
          }
        });
      }
    } finally {
      filter.close();
    }
    console.log(`draft ${draft}: ${compared} verdicts compared, ${skipped} left where ajv departs`);
    for (const one of disagreements.slice(0, 5)) console.log(JSON.stringify(one));
    assert.equal(disagreements.length, 0);
  });
}
